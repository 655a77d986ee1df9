// A window of the platform, as our small framework sees it: a handle plus the
// few operations the launcher needs. On Linux there are no windows; the
// launcher's terminal progress display derives from these classes instead,
// and messages sent to a window go straight to its WindowProc.
#pragma once

#include <cstdint>
#include <string>

// <windows.h> maps these names to their ANSI functions by macro; the members
// below keep their plain names, so a file that includes <windows.h> must do so
// before this header.
#ifdef _WIN32
#undef SetWindowText
#undef GetWindowText
#undef SendMessage
#undef PostMessage
#endif

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
    // True while the window exists and is shown.
    virtual bool IsWindowVisible() const;
    virtual void SetWindowText(const std::string& text);
    virtual std::string GetWindowText() const;
    // Show commands as on Windows: 0 hide, 5 show.
    virtual void ShowWindow(int showCommand);
    intptr_t SendMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
    bool PostMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;

    // Linux only: the receiver of messages sent or posted to this object.
    // (On Windows the system's window procedure receives them.)
    virtual intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam);

protected:
    WindowHandle handle = nullptr;
    // Linux only: the state a real window would keep.
    std::string windowText;
    bool shown = false;
};

constexpr int SwHide = 0;
constexpr int SwShow = 5;

// Message numbers shared by both platforms.
constexpr unsigned WmCommand = 0x0111;
constexpr unsigned IdOk = 1;
constexpr unsigned IdCancel = 2;
