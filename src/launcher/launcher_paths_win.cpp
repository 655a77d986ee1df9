#include "launcher/launcher_paths.h"

#include <windows.h>

char PathSeparator() { return '\\'; }

// The path is UTF-8 (the stub's manifest): up to three bytes for each of the
// system's 260 characters, more below a long-path prefix. The buffer grows
// until the whole path fits.
bool GetModulePath(std::string& path) {
    for (DWORD size = MAX_PATH; size <= 0x20000; size *= 4) {
        std::string buffer(size, '\0');
        const DWORD length = GetModuleFileNameA(nullptr, &buffer[0], size);
        if (length == 0) return false;
        if (length < size) {
            path.assign(buffer, 0, length);
            return true;
        }
    }
    return false;
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
