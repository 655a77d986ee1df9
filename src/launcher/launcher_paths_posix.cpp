#include "launcher/launcher_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

char PathSeparator() { return '/'; }

bool GetModulePath(std::string& path) {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
    path.assign(buffer, static_cast<size_t>(length));
    return true;
}

bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }
