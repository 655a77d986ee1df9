// CWnd on Win32: thin wrappers over the window handle.
#include <windows.h>

#include "framework/window.h"

#include <vector>

namespace {
HWND H(WindowHandle handle) { return static_cast<HWND>(handle); }
}  // namespace

CWnd::~CWnd() = default;

WindowHandle CWnd::Detach() {
    WindowHandle old = handle;
    handle = nullptr;
    return old;
}

bool CWnd::IsWindowAlive() const { return handle != nullptr && ::IsWindow(H(handle)); }

bool CWnd::IsWindowVisible() const { return IsWindowAlive() && ::IsWindowVisible(H(handle)); }

void CWnd::SetWindowText(const std::string& text) {
    if (handle) ::SetWindowTextA(H(handle), text.c_str());
}

std::string CWnd::GetWindowText() const {
    if (!handle) return std::string();
    int length = ::GetWindowTextLengthA(H(handle));
    std::vector<char> buffer(static_cast<size_t>(length) + 2);
    int got = ::GetWindowTextA(H(handle), buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void CWnd::ShowWindow(int showCommand) {
    if (handle) ::ShowWindow(H(handle), showCommand);
}

intptr_t CWnd::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    if (!handle) return 0;
    return ::SendMessageA(H(handle), message, wParam, lParam);
}

bool CWnd::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    if (!handle) return false;
    return ::PostMessageA(H(handle), message, wParam, lParam) != FALSE;
}

intptr_t CWnd::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (!handle) return 0;
    return ::DefWindowProcA(H(handle), message, wParam, lParam);
}
