// The progress bar on Windows is the common control itself: every operation
// is a message to it, so only the default handling remains here.
#include "framework/progress_ctrl.h"

intptr_t CProgressCtrl::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    return CWnd::WindowProc(message, wParam, lParam);
}

void CProgressCtrl::ShowWindow(int showCommand) { CWnd::ShowWindow(showCommand); }

void CProgressCtrl::Redraw() {}

void CProgressCtrl::ClearLine() {}
