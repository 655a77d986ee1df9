// A window of the platform, as our small framework sees it: a handle plus the
// few operations the launcher needs. On Linux there are no windows; the
// launcher's terminal progress display derives from these classes instead.
#pragma once

#include <cstdint>
#include <string>

using WindowHandle = void*;  // HWND on Windows

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    WindowHandle GetSafeHwnd() const { return handle; }
    void Attach(WindowHandle window) { handle = window; }
    WindowHandle Detach();

    // True while the window exists on screen (IsWindow on Windows).
    virtual bool IsWindowAlive() const;
    virtual void SetWindowText(const std::string& text);
    virtual std::string GetWindowText() const;
    // Show commands as on Windows: 0 hide, 5 show.
    virtual void ShowWindow(int showCommand);
    intptr_t SendMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
    bool PostMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;

protected:
    WindowHandle handle = nullptr;
};

constexpr int SwHide = 0;
constexpr int SwShow = 5;
