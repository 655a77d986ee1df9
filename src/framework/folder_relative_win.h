// Names opened relative to an open folder handle (NtCreateFile with a root
// directory), Windows only. The path above the folder is never looked up
// again, and the name is always opened as itself: a junction or a symbolic
// link met there is the object opened, never followed. Extraction and the
// folder cleaner build on this so that a link swapped into the tree while
// they work never leads them elsewhere.
//
// Names are single components in the narrow code page of the program's other
// file calls (UTF-8 under the programs' manifests), converted to UTF-16 here.
// Every failure returns an empty handle or false and leaves the Win32 error
// code in GetLastError(); a folder that is a reparse point or not a folder is
// refused with ERROR_DIRECTORY.
#pragma once

#include <cstdint>
#include <string>

#include "framework/scoped_win_handle.h"

namespace FolderRelative {

// Read and write sharing with every other opener, deletion included.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What a folder handle is opened for: listing it, opening names inside it,
// reading and setting its attributes.
constexpr DWORD kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

// The narrow text as UTF-16 and back (the code page of the narrow calls).
std::wstring Wide(const std::string& text);
std::string Narrow(const wchar_t* text, size_t length);

// Opens the folder at `path` (empty: the current folder; "X:" is the root of
// drive X, as when a name is joined to it). With `identity` non-zero it must
// be the folder that a listing reported with that identity.
ScopedWinHandle OpenFolder(const std::string& path, uint64_t identity = 0);

// Opens `name` inside the folder `at` with `access`, `share`, an NtCreateFile
// `disposition` (FILE_OPEN, FILE_CREATE, FILE_OPEN_IF) and `options`
// (FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE or 0), for synchronous use;
// a new file gets `attributes`.
ScopedWinHandle OpenAt(HANDLE at, const std::string& name, ACCESS_MASK access, ULONG share,
                       ULONG disposition, ULONG options, ULONG attributes = FILE_ATTRIBUTE_NORMAL);

// Opens the folder `name` inside `at` (made first when `create`); refused
// unless it is a folder and not a reparse point.
ScopedWinHandle OpenFolderAt(HANDLE at, const std::string& name, bool create);

// The attributes of an open object; INVALID_FILE_ATTRIBUTES on failure.
DWORD AttributesOf(HANDLE handle);
// Sets an open object's attributes (as SetFileAttributes takes them;
// INVALID_FILE_ATTRIBUTES: unchanged) and its last-access and last-write
// times (FILETIME units; 0: unchanged).
bool SetBasic(HANDLE handle, DWORD attributes, int64_t accessTime = 0, int64_t writeTime = 0);
// The object goes when its last handle closes.
bool MarkForDeletion(HANDLE handle);

}  // namespace FolderRelative
