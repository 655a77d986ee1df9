// The progress window on Windows: icon, minimised painting, the hourglass
// cursor and the start message.
#include <windows.h>

#include "launcher/progress_dlg.h"

namespace {
HWND H(WindowHandle handle) { return static_cast<HWND>(handle); }
}  // namespace

CProgressDlg::CProgressDlg(CWnd* parent) : CDialog(ProgressDialogTemplate, parent) {
    icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ProgressIconResource));
}

// Icons from LoadIcon are shared by the system; nothing to free.
CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::SetWindowText(const std::string& text) { CWnd::SetWindowText(text); }

void CProgressDlg::SetIcons() {
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<intptr_t>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<intptr_t>(icon));
}

bool CProgressDlg::OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam, intptr_t& result) {
    switch (message) {
    case WM_PAINT: {
        if (!IsIconic(H(handle))) return false;  // default painting
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(H(handle), &paint);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<uintptr_t>(dc), 0);
        int iconWidth = GetSystemMetrics(SM_CXICON);
        int iconHeight = GetSystemMetrics(SM_CYICON);
        RECT client;
        GetClientRect(H(handle), &client);
        int x = (client.right - client.left - iconWidth + 1) / 2;
        int y = (client.bottom - client.top - iconHeight + 1) / 2;
        if (icon) DrawIcon(dc, x, y, static_cast<HICON>(icon));
        EndPaint(H(handle), &paint);
        result = 0;
        return true;
    }
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<intptr_t>(icon);
        return true;
    case WM_SETCURSOR:
        // Busy everywhere over the window, caption and frame included.
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
        result = TRUE;
        return true;
    case StartRunMessage:
        OnStartRun();
        result = 0;
        return true;
    default:
        (void)wParam;
        (void)lParam;
        return false;
    }
}
