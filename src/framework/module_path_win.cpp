#include "framework/module_path.h"

#include <windows.h>

std::string ModuleFilePath() {
    // Up to three UTF-8 bytes for each of the system's 260 characters, more
    // below a long-path prefix: the buffer grows until the whole path fits.
    for (DWORD size = MAX_PATH; size <= 0x20000; size *= 4) {
        std::string path(size, '\0');
        const DWORD length = GetModuleFileNameA(nullptr, &path[0], size);
        if (length == 0) return std::string();
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return std::string();
}
