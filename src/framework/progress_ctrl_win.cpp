// The progress bar on Windows is the common control itself: every operation
// is a message to it, so only the default handling remains here.
#include <windows.h>

#include "framework/progress_ctrl.h"

intptr_t CProgressCtrl::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    return CWnd::WindowProc(message, wParam, lParam);
}

void CProgressCtrl::ShowWindow(int showCommand) { CWnd::ShowWindow(showCommand); }

void CProgressCtrl::Redraw() {}

void CProgressCtrl::ClearLine() {}

int CProgressCtrl::DrawnSteps() const {
    RECT client;
    if (!handle || !::GetClientRect(static_cast<HWND>(handle), &client)) return 1000;
    const int width = client.right - client.left;
    return width > 0 ? width : 1;
}
