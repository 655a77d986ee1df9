// CWnd on Linux: no windows exist; a window object is "alive" while it holds
// a handle (the object itself, set by whoever creates it) and messages go
// straight to its WindowProc.
#include "framework/window.h"

#include "framework/posix_queue.h"

CWnd::~CWnd() { posixqueue::Forget(this); }

WindowHandle CWnd::Detach() {
    WindowHandle old = handle;
    handle = nullptr;
    shown = false;
    return old;
}

bool CWnd::IsWindowAlive() const { return handle != nullptr; }

bool CWnd::IsWindowVisible() const { return handle != nullptr && shown; }

void CWnd::SetWindowText(const std::string& text) { windowText = text; }

std::string CWnd::GetWindowText() const { return windowText; }

void CWnd::ShowWindow(int showCommand) { shown = showCommand != SwHide; }

intptr_t CWnd::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    if (!handle) return 0;
    return const_cast<CWnd*>(this)->WindowProc(message, wParam, lParam);
}

bool CWnd::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    if (!handle) return false;
    posixqueue::Post(const_cast<CWnd*>(this), message, wParam, lParam);
    return true;
}

intptr_t CWnd::WindowProc(unsigned, uintptr_t, intptr_t) { return 0; }
