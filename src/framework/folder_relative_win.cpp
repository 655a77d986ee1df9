// Folder-relative opens over ntdll (see folder_relative_win.h).
#include "framework/folder_relative_win.h"

#include <winternl.h>

#include <cstring>

namespace FolderRelative {

namespace {

// The attributes SetFileAttributes passes on.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// What a folder is opened with for listing and opening names inside it.
constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
// The longest name a file system keeps, in UTF-16 units.
constexpr int kLongestName = 255;

bool Succeeded(NTSTATUS status) {
    if (NT_SUCCESS(status)) return true;
    SetLastError(RtlNtStatusToDosError(status));
    return false;
}

// The folder, when it is a plain one (and the listed one, with an identity).
ScopedWinHandle Checked(ScopedWinHandle folder, uint64_t identity) {
    const DWORD attributes = folder ? AttributesOf(folder.Get()) : 0;
    IO_STATUS_BLOCK io;
    FILE_INTERNAL_INFORMATION id;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != FILE_ATTRIBUTE_DIRECTORY ||
        (identity + 1 > 1 &&  // 0 and -1: the listing gave no identity
         (!Succeeded(NtQueryInformationFile(folder.Get(), &io, &id, sizeof id, FileInternalInformation)) ||
          static_cast<uint64_t>(id.IndexNumber.QuadPart) != identity))) {
        if (folder) SetLastError(ERROR_DIRECTORY);
        folder.Reset();
    }
    return folder;
}

}  // namespace

ScopedWinHandle OpenFolder(const char* path, uint64_t identity) {
    // The plain path calls take fewer than MAX_PATH units: a longer path is
    // opened up to its longest leading folder within that, and the rest one
    // component at a time below it, each as itself.
    const size_t length = strlen(path);
    size_t head = length;
    while (head > 0 && MultiByteToWideChar(CP_ACP, 0, path, static_cast<int>(head), nullptr, 0) >= MAX_PATH) {
        do --head;
        while (head > 0 && path[head] != '\\');
    }
    if (head == 0 && length > 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return ScopedWinHandle();
    }
    // Fewer than MAX_PATH units, at most three bytes each.
    char first[3 * MAX_PATH + 2] = ".";
    if (length > 0) {
        memcpy(first, path, head);
        first[head] = '\0';
        if (head == 2 && first[1] == ':') first[2] = '\\';  // the drive's root, as when a name is joined to it
    }
    ScopedWinHandle folder(CreateFileA(first, kListAccess, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    for (size_t pos = head; folder && pos < length;) {
        const char* const separator = strchr(path + pos, '\\');
        const size_t end = separator ? separator - path : length;
        if (end > pos) folder = Checked(OpenAt(folder.Get(), path + pos, end - pos, kListAccess, FILE_OPEN,
                                               FILE_DIRECTORY_FILE), 0);
        pos = end + 1;
    }
    return Checked(std::move(folder), identity);
}

ScopedWinHandle OpenAt(HANDLE at, const char* name, size_t length, ACCESS_MASK access, ULONG disposition,
                       ULONG options, ULONG share) {
    // One component, at most as long as a file system keeps a name (255
    // UTF-16 units, at most three bytes each); a separator would reach past
    // the folder, an empty name would open it.
    wchar_t wide[kLongestName];
    const int units = length > 3 * kLongestName
                          ? 0
                          : MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), wide, kLongestName);
    for (int i = 0; i < units; ++i)
        if (wide[i] == L'\\' || wide[i] == L'/') length = 0;
    if (units <= 0 || length == 0) {
        SetLastError(units == 0 && length > 0 ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
        return ScopedWinHandle();
    }
    UNICODE_STRING unicode;
    unicode.Buffer = wide;
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(units * sizeof(wchar_t));
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &unicode, OBJ_CASE_INSENSITIVE, at, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE opened = nullptr;
    if (!Succeeded(NtCreateFile(&opened, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT,
                                nullptr, 0)))
        opened = nullptr;
    return ScopedWinHandle(opened);
}

ScopedWinHandle OpenFolderAt(HANDLE at, const char* name, size_t length, bool create) {
    return Checked(OpenAt(at, name, length, kListAccess | FILE_WRITE_ATTRIBUTES,
                          create ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE),
                   0);
}

DWORD AttributesOf(HANDLE handle) {
    IO_STATUS_BLOCK io;
    FILE_BASIC_INFORMATION info;
    return Succeeded(NtQueryInformationFile(handle, &io, &info, sizeof info, FileBasicInformation))
               ? info.FileAttributes
               : INVALID_FILE_ATTRIBUTES;
}

bool SetBasic(HANDLE handle, DWORD attributes, bool setTimes, time_t modified) {
    FILE_BASIC_INFORMATION info = {};
    info.FileAttributes = attributes & kSettableAttributes;
    if (setTimes) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        info.LastAccessTime.LowPart = now.dwLowDateTime;
        info.LastAccessTime.HighPart = static_cast<LONG>(now.dwHighDateTime);
        // 100-ns intervals since 1601-01-01.
        info.LastWriteTime.QuadPart = modified == static_cast<time_t>(-1)
                                          ? info.LastAccessTime.QuadPart
                                          : static_cast<LONGLONG>(modified) * 10000000LL + 116444736000000000LL;
    }
    IO_STATUS_BLOCK io;
    return Succeeded(NtSetInformationFile(handle, &io, &info, sizeof info, FileBasicInformation));
}

bool MarkForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFORMATION info = {TRUE};
    IO_STATUS_BLOCK io;
    return Succeeded(NtSetInformationFile(handle, &io, &info, sizeof info, FileDispositionInformation));
}

}  // namespace FolderRelative
