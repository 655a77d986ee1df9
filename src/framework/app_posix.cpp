// Application object on Linux: the module is /proc/self/exe (argument 0
// where /proc is missing); there is no message loop beyond the framework's
// own queue.
#include "framework/app.h"

#include "framework/message_pump.h"
#include "framework/module_path.h"

std::string ModuleBaseName() {
    const std::string path = ModuleFilePath();
    if (path.empty()) {
        const CWinApp* app = CWinApp::Current();
        return app && !app->Arguments().empty() ? ModuleBaseNameFromPath(app->Arguments()[0]) : std::string();
    }
    return ModuleBaseNameFromPath(path);
}

int RunApplication(std::vector<std::string> arguments) {
    CWinApp* app = CWinApp::Current();
    if (!app) return 0;
    app->SetArguments(std::move(arguments));
    if (!app->InitInstance()) return app->exitCode;
    // Serve what is queued; with nothing left nothing can arrive any more.
    while (MessageWaiting()) {
        if (!PumpMessage()) break;
    }
    return 0;
}
