// Folder cleaner file-system operations over folder handles: listings read
// from an open folder, deletion relative to the folder that holds the entry.
#include "cleanup/cleanup_fs.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <map>
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

static std::string BaseName(const std::string& path) {
    const size_t split = path.find_last_of('\\');
    return split == std::string::npos ? path : path.substr(split + 1);
}

static std::string FolderOf(const std::string& path) {
    const size_t split = path.find_last_of('\\');
    if (split == std::string::npos) return std::string();
    std::string folder = path.substr(0, split);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

namespace {

// One listing in progress: the open folder and the entries last read.
struct Listing {
    ScopedWinHandle folder;
    std::wstring mask;  // empty: every name
    std::vector<LONGLONG> buffer = std::vector<LONGLONG>(8192);  // 64 KiB, aligned
    ULONG offset = 0;
    bool filled = false;
    bool restart = true;

    // The next entry; null at the end or on failure.
    const FILE_ID_BOTH_DIR_INFORMATION* Next() {
        if (filled) {
            const auto* last = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(
                reinterpret_cast<const char*>(buffer.data()) + offset);
            if (last->NextEntryOffset != 0) {
                offset += last->NextEntryOffset;
                return At(offset);
            }
        }
        UNICODE_STRING pattern;
        pattern.Buffer = mask.empty() ? nullptr : &mask[0];
        pattern.Length = pattern.MaximumLength = static_cast<USHORT>(mask.size() * sizeof(wchar_t));
        IO_STATUS_BLOCK io;
        const NTSTATUS status = NtQueryDirectoryFile(
            folder.Get(), nullptr, nullptr, nullptr, &io, buffer.data(),
            static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)), FileIdBothDirectoryInformation, FALSE,
            mask.empty() ? nullptr : &pattern, restart ? TRUE : FALSE);
        restart = false;
        filled = NT_SUCCESS(status) && io.Information != 0;
        offset = 0;
        return filled ? At(0) : nullptr;
    }

    const FILE_ID_BOTH_DIR_INFORMATION* At(ULONG at) const {
        return reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(reinterpret_cast<const char*>(buffer.data()) +
                                                                      at);
    }
};

}  // namespace

CFolderSearch::~CFolderSearch() { Close(); }

bool CFolderSearch::First(const std::string& searchFolder, const std::string& searchPattern, FoundEntry& entry,
                          uint64_t identity) {
    Close();
    ScopedWinHandle opened = OpenFolder(searchFolder, identity);
    if (!opened) return false;
    Listing* listing = new Listing;
    listing->folder = std::move(opened);
    // Every name without a pattern to match; otherwise the system matches
    // "*" and "?" against the names, ignoring case.
    if (searchPattern != "*" && searchPattern != "*.*") listing->mask = Wide(searchPattern);
    handle = listing;
    folder = searchFolder;
    pattern = searchPattern;
    return Next(entry);
}

bool CFolderSearch::Next(FoundEntry& entry) {
    if (!handle) return false;
    const FILE_ID_BOTH_DIR_INFORMATION* found = static_cast<Listing*>(handle)->Next();
    if (!found) return false;
    entry.name = Narrow(found->FileName, found->FileNameLength / sizeof(wchar_t));
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
    std::map<std::string, uint64_t> expected;
    std::string openPath;
    ScopedWinHandle open;

    HANDLE Folder(const std::string& path) {
        if (open && path == openPath) return open.Get();
        open.Reset();
        const auto it = expected.find(path);
        open = OpenFolder(path, it == expected.end() ? 0 : it->second);
        openPath = path;
        return open.Get();
    }
};

CDeleter::CDeleter() : held(new Held) {}
CDeleter::~CDeleter() = default;

void CDeleter::ExpectFolder(const std::string& path, uint64_t identity) {
    if (identity) held->expected[path] = identity;
}

FileDeletion CDeleter::DeleteListedFile(const std::string& path, bool deleteIfNotReset) {
    FileDeletion result;
    const HANDLE at = held->Folder(FolderOf(path));
    // The entry itself, a link as the link; without the right to change its
    // attributes it may still be deleted.
    const std::string name = BaseName(path);
    ScopedWinHandle entry;
    if (at) {
        const DWORD access = DELETE | FILE_READ_ATTRIBUTES;
        entry = OpenAt(at, name, access | FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN, 0);
        if (!entry && GetLastError() == ERROR_ACCESS_DENIED) entry = OpenAt(at, name, access, kShareAll, FILE_OPEN, 0);
    }
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
    // A folder held open is let go first; it is gone afterwards.
    if (held->open && (held->openPath == path || held->openPath.compare(0, path.size() + 1, path + "\\") == 0))
        held->open.Reset();
    const HANDLE at = held->Folder(FolderOf(path));
    if (!at) return false;
    const ScopedWinHandle folder =
        OpenAt(at, BaseName(path), DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE);
    return folder && MarkForDeletion(folder.Get());
}

}  // namespace CleanupFs
