// The one-message pump on Windows.
#include "framework/message_pump.h"

#include <windows.h>

#include "framework/app.h"
#include "framework/window.h"

bool MessageWaiting() {
    MSG msg;
    return ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

bool PumpMessage() {
    MSG msg;
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) return false;  // WM_QUIT, now consumed
    if (got < 0) return true;
    // The main window is a dialog: Tab, Enter and Escape go to its keyboard
    // handling first.
    CWinApp* app = CWinApp::Current();
    HWND main = nullptr;
    if (app && app->mainWindow && app->mainWindow->IsWindowAlive())
        main = static_cast<HWND>(app->mainWindow->GetSafeHwnd());
    if (main && ::IsDialogMessageA(main, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
    return true;
}

bool RunIdle(long count) {
    CWinApp* app = CWinApp::Current();
    return app ? app->OnIdle(count) : false;
}

void PostQuitRequest(int exitCode) { ::PostQuitMessage(exitCode); }

void EnableInterruptAsCancel(CWnd*) {}
