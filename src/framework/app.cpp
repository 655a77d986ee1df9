// Platform-independent part of the application object.
#include "framework/app.h"

namespace {
CWinApp* currentApp = nullptr;
}

CWinApp::CWinApp() { currentApp = this; }

CWinApp::~CWinApp() {
    if (currentApp == this) currentApp = nullptr;
}

bool CWinApp::InitInstance() { return true; }

bool CWinApp::OnIdle(long) { return false; }

std::string CWinApp::AppName() const { return ModuleBaseName(); }

CWinApp* CWinApp::Current() { return currentApp; }

namespace {

// Strips the folder and the last extension from a path (either separator).
std::string BaseWithoutExtension(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

}  // namespace

std::string ModuleBaseNameFromPath(const std::string& path) { return BaseWithoutExtension(path); }
