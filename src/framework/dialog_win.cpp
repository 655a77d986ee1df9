// Modal dialogs on Windows: CreateDialogParamA plus our own modal loop.
#include <windows.h>
#include <commctrl.h>

#include "framework/dialog.h"

struct DialogAccess {
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static void CentreIfAtOrigin(HWND window);
};

namespace {

// Messages whose dialog-procedure result is the message result itself;
// every other handled message returns its result through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

}  // namespace

// A dialog at (0, 0) without a centring style is centred on the work area of
// its monitor when it opens (the template leaves the place to us).
void DialogAccess::CentreIfAtOrigin(HWND window) {
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if (style & (DS_CENTER | DS_CENTERMOUSE | WS_CHILD)) return;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    POINT origin = {0, 0};
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner) ClientToScreen(owner, &origin);
    if (rect.left != origin.x || rect.top != origin.y) return;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const RECT& area = monitor.rcWork;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogAccess::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        dialog->Attach(window);
        BOOL focus = dialog->OnInitDialog() ? TRUE : FALSE;
        CentreIfAtOrigin(window);
        return focus;
    }
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog) return FALSE;  // messages before WM_INITDIALOG
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->DetachControls();
        dialog->Detach();
        return FALSE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) <= 1) {
        // A button click, a menu or accelerator command, or the dialog
        // manager's own (Enter, Escape, close button, Alt+F4).
        if (LOWORD(wParam) == IDOK) {
            dialog->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            dialog->OnCancel();
            return TRUE;
        }
    }
    intptr_t result = 0;
    if (!dialog->OnMessage(message, wParam, lParam, result)) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
    return TRUE;
}

intptr_t CDialog::DoModal() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    HWND owner = parent ? static_cast<HWND>(parent->GetSafeHwnd()) : nullptr;
    continueModal = true;
    modalResult = -1;
    HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner,
                                     DialogAccess::Procedure, reinterpret_cast<LPARAM>(this));
    if (!window) {
        continueModal = false;
        return -1;
    }
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);

    MSG msg;
    while (continueModal) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The quit request ends the modal run; outer loops must see it too.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (!IsWindow(window) || !IsDialogMessageA(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    continueModal = false;

    if (ownerWasEnabled) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
    if (IsWindow(window)) DestroyWindow(window);
    DetachControls();
    Detach();
    return modalResult;
}

void CDialog::EndDialog(int result) {
    modalResult = result;
    continueModal = false;
    if (handle) ::ShowWindow(static_cast<HWND>(handle), SW_HIDE);
}

void CDialog::ShowWindow(int showCommand) { CWnd::ShowWindow(showCommand); }

intptr_t CDialog::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    return CWnd::WindowProc(message, wParam, lParam);
}

void CDialog::BindControl(int controlId, CWnd& control) {
    if (!handle) return;
    control.Attach(GetDlgItem(static_cast<HWND>(handle), controlId));
    boundControls.push_back(&control);
}
