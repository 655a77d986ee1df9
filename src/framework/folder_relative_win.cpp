// Folder-relative opens over ntdll (see folder_relative_win.h).
#include "framework/folder_relative_win.h"

#include <winternl.h>

namespace FolderRelative {

namespace {

// The attributes SetFileAttributes passes on.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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
    char driveRoot[] = "X:\\";
    if (!*path) {
        path = ".";
    } else if (path[1] == ':' && !path[2]) {
        driveRoot[0] = path[0];
        path = driveRoot;
    }
    return Checked(ScopedWinHandle(CreateFileA(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                               kShareAll, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)),
                   identity);
}

ScopedWinHandle OpenAt(HANDLE at, const char* name, size_t length, ACCESS_MASK access, ULONG disposition,
                       ULONG options, ULONG share) {
    // One component, at most as long as a file system keeps a name (and at
    // most four bytes to a unit); a separator would reach past the folder, an
    // empty name would open it.
    wchar_t wide[MAX_PATH];
    const int units =
        length > 4 * MAX_PATH ? 0 : MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), wide, MAX_PATH);
    for (int i = 0; i < units; ++i)
        if (wide[i] == L'\\' || wide[i] == L'/') length = 0;
    if (units <= 0 || length == 0) {
        SetLastError(ERROR_INVALID_NAME);
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
    return Checked(OpenAt(at, name, length,
                          FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
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
