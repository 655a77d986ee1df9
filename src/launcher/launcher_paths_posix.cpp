#include "launcher/launcher_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "framework/app.h"
#include "framework/module_path.h"

char PathSeparator() { return '/'; }

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Without /proc (a bare chroot or container) the program's file is found the
// way the shell found it: argument 0 with a slash is a path, taken against
// the current folder when relative; a bare name is the first executable file
// of that name along $PATH.
bool PathFromArgument0(std::string& path) {
    const CWinApp* app = CWinApp::Current();
    if (!app || app->Arguments().empty() || app->Arguments()[0].empty()) return false;
    const std::string& name = app->Arguments()[0];
    std::string found;
    if (name.find('/') != std::string::npos) {
        found = name;
    } else {
        const char* searchPath = std::getenv("PATH");
        std::string folders = searchPath ? searchPath : "/bin:/usr/bin";
        for (size_t start = 0;;) {
            size_t end = folders.find(':', start);
            std::string folder = folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
            std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
            if (IsExecutableFile(candidate)) {
                found = candidate;
                break;
            }
            if (end == std::string::npos) return false;
            start = end + 1;
        }
    }
    if (found[0] != '/') {
        char folder[PATH_MAX];
        if (!getcwd(folder, sizeof folder)) return false;
        found = std::string(folder) + "/" + found;
    }
    if (!IsExecutableFile(found)) return false;
    path = found;
    return true;
}

}  // namespace

bool GetModulePath(std::string& path) {
    path = ModuleFilePath();
    return !path.empty() || PathFromArgument0(path);
}

bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }
