// Work folder on Windows: the preferred temporary folder, CreateDirectoryA
// with the private DACL, and the alive
// mark: a handle to the folder opened without delete sharing, so that no
// other process can delete or take it while the run holds it.
#include "launcher/work_folder.h"

#include <windows.h>

#include <string>

#include "framework/scoped_win_handle.h"
#include "launcher/work_folder_security_win.h"

struct CWorkFolderMark::Held {
    ScopedWinHandle handle;
};

CWorkFolderMark::CWorkFolderMark() : held(new Held) {}
CWorkFolderMark::~CWorkFolderMark() = default;
bool CWorkFolderMark::IsHeld() const { return held->handle.IsValid(); }
void CWorkFolderMark::Release() { held->handle.Reset(); }

namespace WorkFolderFs {

namespace {

// Lists through the handle itself: a listing by name (FindFirstFileA) is
// refused under Wine while a handle with delete access is open. True also
// when the folder cannot be listed: such a folder is left alone.
bool IsEmpty(HANDLE folder) {
    alignas(8) unsigned char buffer[4096];
    for (bool first = true;; first = false) {
        if (!GetFileInformationByHandleEx(folder, first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                          buffer, sizeof buffer))
            return true;  // no more entries, or not listable
        auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer);
        for (;;) {
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") return false;
            if (entry->NextEntryOffset == 0) break;
            entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<unsigned char*>(entry) +
                                                               entry->NextEntryOffset);
        }
    }
}

}  // namespace

const char Separator = '\\';

std::string TemporaryFolder() {
    // The answer is UTF-8 (the stub's manifest), longer in bytes than in
    // characters; a buffer too small is answered with the size it needs.
    std::string buffer(MAX_PATH, '\0');
    DWORD length = GetPreferredTempPathA(static_cast<DWORD>(buffer.size()), &buffer[0]);
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = GetPreferredTempPathA(static_cast<DWORD>(buffer.size()), &buffer[0]);
    }
    if (length == 0 || length >= buffer.size()) return "";
    buffer.resize(length);
    return buffer;
}

CreateResult CreateFolderExclusive(const std::string& path) {
    // Never a folder with the parent's rules: without the private DACL, fail.
    CPrivateFolderSecurity security;
    if (!security.Attributes()) return CreateResult::Failed;
    if (CreateDirectoryA(path.c_str(), security.Attributes())) return CreateResult::Created;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return CreateResult::NameTaken;
    return CreateResult::Failed;
}

bool MarkAlive(const std::string& path, CWorkFolderMark& mark) {
    // A sweep that looks at the folder holds it for a moment (it lets an
    // empty one go): try again meanwhile.
    for (int attempt = 0; attempt < 200; ++attempt) {
        ScopedWinHandle folder(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                           nullptr));
        if (folder) {
            mark.held->handle = std::move(folder);
            return true;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) return false;
        Sleep(10);
    }
    return false;
}

bool TakeStale(const std::string& path, CWorkFolderMark&) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // Delete access fails while a live run holds its handle without delete
    // sharing; while this handle is open, a run that has just made the
    // folder cannot mark it (and waits), so an empty folder is let go. A
    // folder with content and no mark belongs to a run that is gone: nobody
    // marks it any more once the handle is closed, and the cleaner (which
    // lists by name) can then do its work.
    ScopedWinHandle folder(CreateFileA(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return folder && !IsEmpty(folder.Get());
}

void RemoveTaken(const std::string& path, CWorkFolderMark& taken) {
    taken.Release();
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search.Get(), &found));
    return names;
}

}  // namespace WorkFolderFs
