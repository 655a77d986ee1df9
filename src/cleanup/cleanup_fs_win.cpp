// Folder cleaner file-system operations over the ANSI Win32 calls.
#include "cleanup/cleanup_fs.h"

#include <windows.h>

#include <cstring>

namespace CleanupFs {

const char Separator = '\\';
const char* const InvalidSourceCharacters = "/\"<>|";

bool IsRootedSource(const std::string& source) {
    if (source.size() >= 2 && source[1] == ':') return true;
    return source.compare(0, 2, "\\\\") == 0;
}

bool SamePath(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

static void Fill(const WIN32_FIND_DATAA& found, FoundEntry& entry) {
    entry.name = found.cFileName;
    entry.attributes = found.dwFileAttributes;
}

CFolderSearch::~CFolderSearch() { Close(); }

bool CFolderSearch::First(const std::string& searchFolder, const std::string& searchPattern, FoundEntry& entry) {
    Close();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((searchFolder + "\\" + searchPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    handle = search;
    Fill(found, entry);
    return true;
}

bool CFolderSearch::Next(FoundEntry& entry) {
    if (!handle) return false;
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(static_cast<HANDLE>(handle), &found)) return false;
    Fill(found, entry);
    return true;
}

void CFolderSearch::Close() {
    if (handle) FindClose(static_cast<HANDLE>(handle));
    handle = nullptr;
}

uint32_t GetAttributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool ResetAttributes(const std::string& path) {
    return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool DeleteEntry(const std::string& path, uint32_t attributes) {
    // A junction or a symbolic link to a folder is removed like an empty
    // folder; the system removes the link, not what it points to.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return RemoveDirectoryA(path.c_str()) != 0;
    return DeleteFileA(path.c_str()) != 0;
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace CleanupFs
