#include "framework/module_path.h"

#include <climits>

#include <unistd.h>

std::string ModuleFilePath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return std::string();
    return std::string(path, static_cast<size_t>(length));
}
