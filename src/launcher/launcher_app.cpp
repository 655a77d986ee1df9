#include "launcher/launcher_app.h"

#include <algorithm>
#include <cctype>

#include "framework/window_station.h"
#include "launcher/extract_job.h"
#include "launcher/launcher_paths.h"
#include "launcher/progress_window.h"
#include "launcher/switch_match.h"

static std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string CLauncherApp::FindArgument(const std::string& key) const {
    const std::string wanted = UpperCase(key);
    const std::vector<std::string>& arguments = Arguments();
    // Argument 0 is the launcher's own path, never a switch.
    for (size_t index = 1; index < arguments.size(); ++index) {
        if (ArgumentCarriesSwitch(UpperCase(arguments[index]), wanted)) return arguments[index];
    }
    return "";
}

void CLauncherApp::ReadSwitches() {
    // Only the first argument that contains /T: counts, even when it names
    // nothing that exists.
    const std::string parentArgument = FindArgument("/T:");
    if (!parentArgument.empty()) {
        std::string parent = parentArgument.substr(std::min<size_t>(3, parentArgument.size()));
        if (!parent.empty() && PathExists(parent)) {
            while (!parent.empty() && parent.back() == PathSeparator()) parent.pop_back();
            workParent = parent;
        }
    }
    noWindow = FindArgument("/S").empty() ? 0 : 1;
}

bool CLauncherApp::InitInstance() {
    ReadSwitches();

    CExtractJob job;
    // Nobody could see the window, nor cancel through it.
    if (noWindow == 0 && !StationIsInteractive()) noWindow = 1;
    if (noWindow == 0) noWindow = job.IsNoWindowMode() ? 1 : 0;
    if (noWindow != 0) {
        exitCode = job.Run();
    } else {
        exitCode = RunProgressWindow(*this);
    }
    return false;
}
