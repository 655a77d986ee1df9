// Folder-relative opens over ntdll (see folder_relative_win.h).
#include "framework/folder_relative_win.h"

#include <winternl.h>

namespace FolderRelative {

namespace {

constexpr DWORD kListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// The attributes SetFileAttributes passes on.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool Failed(NTSTATUS status) {
    if (NT_SUCCESS(status)) return false;
    SetLastError(RtlNtStatusToDosError(status));
    return true;
}

bool IsPlainFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

uint64_t IdentityOf(HANDLE handle) {
    IO_STATUS_BLOCK io;
    FILE_INTERNAL_INFORMATION info;
    if (Failed(NtQueryInformationFile(handle, &io, &info, sizeof info, FileInternalInformation))) return 0;
    return static_cast<uint64_t>(info.IndexNumber.QuadPart);
}

// A plain folder (and the listed one, with an identity) or nothing.
ScopedWinHandle Checked(ScopedWinHandle folder, uint64_t identity) {
    if (!folder) return folder;
    if (!IsPlainFolder(AttributesOf(folder.Get())) || (identity != 0 && IdentityOf(folder.Get()) != identity)) {
        SetLastError(ERROR_DIRECTORY);
        return ScopedWinHandle();
    }
    return folder;
}

}  // namespace

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    const int wideLength = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, text, wideLength, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

ScopedWinHandle OpenFolder(const std::string& path, uint64_t identity) {
    std::wstring wide = path.empty() ? std::wstring(L".") : Wide(path);
    if (wide.size() == 2 && wide[1] == L':') wide += L'\\';
    // Folders made relative to others may lie deeper than a plain path can
    // reach (MAX_PATH): those are opened by the path's long form.
    if (wide.size() >= MAX_PATH - 12 && wide.compare(0, 4, L"\\\\?\\") != 0) {
        std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
        const DWORD length = full.empty() ? 0 : GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length > 0 && length < full.size()) {
            full.resize(length);
            wide = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
        }
    }
    ScopedWinHandle folder(CreateFileW(wide.c_str(), kListAccess, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return Checked(std::move(folder), identity);
}

ScopedWinHandle OpenAt(HANDLE at, const std::string& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                       ULONG options, ULONG attributes) {
    std::wstring wide = Wide(name);
    // A separator would reach past the folder; an empty name would open it.
    if (wide.empty() || wide.find_first_of(L"\\/") != std::wstring::npos || wide.size() > 0x7FFF) {
        SetLastError(ERROR_INVALID_NAME);
        return ScopedWinHandle();
    }
    UNICODE_STRING unicode;
    unicode.Buffer = &wide[0];
    unicode.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    unicode.MaximumLength = unicode.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &unicode, OBJ_CASE_INSENSITIVE, at, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE opened = nullptr;
    const NTSTATUS status =
        NtCreateFile(&opened, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share, disposition,
                     options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (Failed(status)) return ScopedWinHandle();
    return ScopedWinHandle(opened);
}

ScopedWinHandle OpenFolderAt(HANDLE at, const std::string& name, bool create) {
    return Checked(OpenAt(at, name, kFolderAccess, kShareAll, create ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE),
                   0);
}

DWORD AttributesOf(HANDLE handle) {
    IO_STATUS_BLOCK io;
    FILE_BASIC_INFORMATION info;
    if (Failed(NtQueryInformationFile(handle, &io, &info, sizeof info, FileBasicInformation)))
        return INVALID_FILE_ATTRIBUTES;
    return info.FileAttributes;
}

bool SetBasic(HANDLE handle, DWORD attributes, int64_t accessTime, int64_t writeTime) {
    FILE_BASIC_INFORMATION info = {};
    // As SetFileAttributes does: the normal bit keeps a value of 0 from
    // meaning "unchanged"; beside others it has no effect.
    if (attributes != INVALID_FILE_ATTRIBUTES) info.FileAttributes = (attributes & kSettableAttributes) | FILE_ATTRIBUTE_NORMAL;
    info.LastAccessTime.QuadPart = accessTime;
    info.LastWriteTime.QuadPart = writeTime;
    IO_STATUS_BLOCK io;
    return !Failed(NtSetInformationFile(handle, &io, &info, sizeof info, FileBasicInformation));
}

bool MarkForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFORMATION info;
    info.DoDeleteFile = TRUE;
    IO_STATUS_BLOCK io;
    return !Failed(NtSetInformationFile(handle, &io, &info, sizeof info, FileDispositionInformation));
}

}  // namespace FolderRelative
