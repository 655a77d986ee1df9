// Application object on Linux: the module is /proc/self/exe (argument 0
// where /proc is missing); there is no message loop beyond the framework's
// own queue.
#include "framework/app.h"

#include <unistd.h>

#include <climits>

#include "framework/message_pump.h"

std::string ModuleBaseName() {
    char path[PATH_MAX + 1];
    ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    if (length <= 0) {
        const CWinApp* app = CWinApp::Current();
        return app && !app->Arguments().empty() ? ModuleBaseNameFromPath(app->Arguments()[0]) : std::string();
    }
    return ModuleBaseNameFromPath(std::string(path, static_cast<size_t>(length)));
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
