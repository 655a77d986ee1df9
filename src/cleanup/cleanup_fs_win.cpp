// Folder cleaner file-system operations over folder handles: listings read
// from an open folder, deletion relative to the folder that holds the entry.
#include "cleanup/cleanup_fs.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <vector>

#include "framework/folder_relative_win.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID context,
                                               PIO_STATUS_BLOCK io, PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS type, BOOLEAN single, PUNICODE_STRING mask,
                                               BOOLEAN restart);

using namespace FolderRelative;

namespace CleanupFs {

const char Separator = '\\';
const char* const InvalidSourceCharacters = "/\"<>|";

bool IsRootedSource(const std::string& source) {
    if (source.size() >= 2 && source[1] == ':') return true;
    return source.compare(0, 2, "\\\\") == 0;
}

bool SamePath(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

namespace {

// One listing in progress: the open folder and the entries last read.
struct Listing {
    ScopedWinHandle folder;
    UNICODE_STRING mask;
    wchar_t maskText[MAX_PATH];
    const FILE_ID_BOTH_DIR_INFORMATION* entry = nullptr;
    BOOLEAN restart = TRUE;
    LONGLONG buffer[4096];  // 32 KiB, aligned for the entries
};

}  // namespace

CFolderSearch::~CFolderSearch() { Close(); }

bool CFolderSearch::First(const std::string& searchFolder, const std::string& searchPattern, CFileRecord& entry,
                          uint64_t identity) {
    Close();
    ScopedWinHandle opened = OpenFolder(searchFolder.c_str(), identity);
    if (!opened) return false;
    Listing* listing = new Listing;
    listing->folder = std::move(opened);
    handle = listing;
    // The system matches "*" and "?" against the names, ignoring case; "*.*"
    // matches every name, as it does for a search by name.
    const int units = MultiByteToWideChar(CP_ACP, 0, searchPattern == "*.*" ? "*" : searchPattern.c_str(), -1,
                                          listing->maskText, MAX_PATH);
    if (units <= 1) return false;
    listing->mask.Buffer = listing->maskText;
    listing->mask.Length = listing->mask.MaximumLength = static_cast<USHORT>((units - 1) * sizeof(wchar_t));
    return Next(entry);
}

bool CFolderSearch::Next(CFileRecord& entry) {
    Listing* const listing = static_cast<Listing*>(handle);
    if (!listing) return false;
    const FILE_ID_BOTH_DIR_INFORMATION*& found = listing->entry;
    if (found && found->NextEntryOffset != 0) {
        found = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(reinterpret_cast<const char*>(found) +
                                                                       found->NextEntryOffset);
    } else {
        IO_STATUS_BLOCK io;
        const NTSTATUS status = NtQueryDirectoryFile(
            listing->folder.Get(), nullptr, nullptr, nullptr, &io, listing->buffer, sizeof listing->buffer,
            FileIdBothDirectoryInformation, FALSE, &listing->mask, listing->restart);
        listing->restart = FALSE;
        found = NT_SUCCESS(status) && io.Information != 0
                    ? reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(listing->buffer)
                    : nullptr;
        if (!found) return false;
    }
    // Names of any length the system keeps: up to 255 UTF-16 units, three
    // bytes each at most.
    char name[3 * 256];
    const int size = WideCharToMultiByte(CP_ACP, 0, found->FileName, static_cast<int>(found->FileNameLength / 2),
                                         name, sizeof name, nullptr, nullptr);
    entry.name = std::string(name, size > 0 ? size : 0);
    entry.attributes = found->FileAttributes;
    entry.identity = static_cast<uint64_t>(found->FileId.QuadPart);
    return true;
}

void CFolderSearch::Close() {
    delete static_cast<Listing*>(handle);
    handle = nullptr;
}

uint32_t GetAttributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

struct CDeleter::Held {
    // The listed folders, and their identities in the same order, 8 bytes
    // each.
    std::vector<std::string> expectedPaths;
    std::string expectedIdentities;
    std::string openPath;
    ScopedWinHandle open;

    // The entry `path` opened as itself relative to its folder, which is
    // held open (and checked against its listing when it is opened).
    ScopedWinHandle Entry(const std::string& path, ACCESS_MASK access, ULONG options) {
        const char* const separator = strrchr(path.c_str(), '\\');
        const size_t nameStart = separator ? separator - path.c_str() + 1 : 0;
        size_t folderLength = nameStart;
        while (folderLength > 0 && path[folderLength - 1] == '\\') --folderLength;
        if (!open || openPath.size() != folderLength || memcmp(openPath.data(), path.data(), folderLength) != 0) {
            openPath = std::string(path, 0, folderLength);
            uint64_t identity = 0;
            for (size_t i = 0; i < expectedPaths.size(); ++i)
                if (expectedPaths[i] == openPath) memcpy(&identity, &expectedIdentities[i * sizeof identity], sizeof identity);
            open = OpenFolder(openPath.c_str(), identity);
            if (!open) return ScopedWinHandle();
        }
        return OpenAt(open.Get(), path.data() + nameStart, path.size() - nameStart, access, FILE_OPEN, options);
    }
};

CDeleter::CDeleter() : held(new Held) {}
CDeleter::~CDeleter() = default;

void CDeleter::ExpectFolder(const std::string& path, uint64_t identity) {
    if (!identity) return;
    held->expectedPaths.push_back(path);
    held->expectedIdentities.append(reinterpret_cast<const char*>(&identity), sizeof identity);
}

FileDeletion CDeleter::DeleteListedFile(const std::string& path, bool deleteIfNotReset) {
    FileDeletion result;
    // A link as the link; without the right to change its attributes the
    // entry may still be deleted.
    const ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES;
    ScopedWinHandle entry = held->Entry(path, access | FILE_WRITE_ATTRIBUTES, 0);
    if (!entry && GetLastError() == ERROR_ACCESS_DENIED) entry = held->Entry(path, access, 0);
    const DWORD attributes = entry ? AttributesOf(entry.Get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) result.outcome = FileOutcome::Missing;
        return result;
    }
    // A link's attributes are left alone: on systems that follow it, they
    // would be the target's.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !SetBasic(entry.Get(), FILE_ATTRIBUTE_NORMAL)) {
        result.resetFailed = true;
        if (!deleteIfNotReset) return result;
    }
    result.outcome = MarkForDeletion(entry.Get()) ? FileOutcome::Deleted : FileOutcome::NotDeleted;
    return result;
}

bool CDeleter::RemoveFolder(const std::string& path) {
    // The folder held open may be this one: it is let go first.
    held->open.Reset();
    const ScopedWinHandle folder = held->Entry(path, DELETE | FILE_READ_ATTRIBUTES, FILE_DIRECTORY_FILE);
    return folder && MarkForDeletion(folder.Get());
}

}  // namespace CleanupFs
