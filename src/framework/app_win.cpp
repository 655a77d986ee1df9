// Application object on Windows: module name and the message loop.
#include "framework/app.h"

#include <windows.h>
#include <commctrl.h>

#include "framework/message_pump.h"
#include "framework/module_path.h"

std::string ModuleBaseName() {
    const std::string path = ModuleFilePath();
    return path.empty() ? std::string() : ModuleBaseNameFromPath(path);
}

int RunApplication(std::vector<std::string> arguments) {
    CWinApp* app = CWinApp::Current();
    if (!app) return 0;
    app->SetArguments(std::move(arguments));

    // The progress bar class must be registered before any dialog uses it.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    if (!app->InitInstance()) return app->exitCode;

    // Ordinary message loop with idle processing between bursts of messages.
    for (;;) {
        long idle = 0;
        while (!MessageWaiting() && RunIdle(idle)) ++idle;
        MSG msg;
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got < 0) return 0;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}
