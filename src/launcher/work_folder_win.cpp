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

// The names in an open folder other than "." and "..", at most `most` of
// them, read through the handle itself: a listing by name (FindFirstFileA)
// is refused under Wine while a handle with delete access is open. None when
// the folder cannot be listed.
std::vector<std::string> NamesIn(HANDLE folder, size_t most) {
    std::vector<std::string> names;
    alignas(8) unsigned char buffer[4096];
    for (bool first = true; names.size() < most; first = false) {
        if (!GetFileInformationByHandleEx(folder, first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                          buffer, sizeof buffer))
            break;  // no more entries, or not listable
        for (auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer);;
             entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<unsigned char*>(entry) +
                                                              entry->NextEntryOffset)) {
            const int units = static_cast<int>(entry->FileNameLength / sizeof(wchar_t));
            if (units > 2 || entry->FileName[0] != L'.' || (units == 2 && entry->FileName[1] != L'.')) {
                // At most 255 UTF-16 units, three bytes each.
                char name[3 * 256];
                const int size = WideCharToMultiByte(CP_ACP, 0, entry->FileName, units, name, sizeof name, nullptr,
                                                     nullptr);
                names.push_back(std::string(name, size > 0 ? size : 0));
            }
            if (entry->NextEntryOffset == 0) break;
        }
    }
    return names;
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
    return folder && !NamesIn(folder.Get(), 1).empty();
}

void RemoveTaken(const std::string& path, CWorkFolderMark& taken) {
    taken.Release();
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> ListNames(const std::string& folder) {
    const ScopedWinHandle opened(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return opened ? NamesIn(opened.Get(), static_cast<size_t>(-1)) : std::vector<std::string>();
}

}  // namespace WorkFolderFs
