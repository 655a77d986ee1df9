#include "launcher/launcher_paths.h"

#include <windows.h>

#include "framework/module_path.h"

char PathSeparator() { return '\\'; }

bool GetModulePath(std::string& path) {
    path = ModuleFilePath();
    return !path.empty();
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A process that has just ended, or a virus scanner looking at the folder,
// can hold it open for a moment; a sharing violation is therefore retried for
// up to a second before the folder is given up.
bool RemoveFolder(const std::string& path) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (RemoveDirectoryA(path.c_str())) return true;
        if (GetLastError() != ERROR_SHARING_VIOLATION) return false;
        Sleep(50);
    }
    return false;
}
