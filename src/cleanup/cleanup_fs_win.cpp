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

bool CFolderSearch::First(const std::string& searchFolder, const std::string& searchPattern, FoundEntry& entry,
                          uint64_t) {
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

struct CDeleter::Held {};

CDeleter::CDeleter() = default;
CDeleter::~CDeleter() = default;

void CDeleter::ExpectFolder(const std::string&, uint64_t) {}

FileDeletion CDeleter::DeleteListedFile(const std::string& path, bool deleteIfNotReset) {
    FileDeletion result;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        result.outcome = FileOutcome::Missing;
        return result;
    }
    // A link's attributes are left alone: changing them could change the
    // target's.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        result.resetFailed = true;
        if (!deleteIfNotReset) return result;
    }
    // A junction or a symbolic link to a folder is removed like an empty
    // folder; the system removes the link, not what it points to.
    const bool deleted = ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                             ? RemoveDirectoryA(path.c_str()) != 0
                             : ::DeleteFileA(path.c_str()) != 0;
    result.outcome = deleted ? FileOutcome::Deleted : FileOutcome::NotDeleted;
    return result;
}

bool CDeleter::RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

}  // namespace CleanupFs
