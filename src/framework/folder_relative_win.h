// Names opened relative to an open folder handle (NtCreateFile with a root
// directory), Windows only. The path above the folder is never looked up
// again, and the name is always opened as itself: a junction or a symbolic
// link met there is the object opened, never followed. Extraction and the
// folder cleaner build on this so that a link swapped into the tree while
// they work never leads them elsewhere.
//
// Names and paths are in the narrow code page of the program's other file
// calls (UTF-8 under the programs' manifests). Every failure returns an
// empty handle or false and leaves the Win32 error code in GetLastError(); a
// folder that is a reparse point or not a folder is refused with
// ERROR_DIRECTORY.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "framework/scoped_win_handle.h"

namespace FolderRelative {

// Read and write sharing with every other opener, deletion included.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the folder at `path` (empty: the current folder; "X:" is the root of
// drive X, as when a name is joined to it), its last component as itself,
// for listing and opening names inside it. With `identity` non-zero it must
// be the folder that a listing reported with that file ID. A path of any
// length: beyond what the plain path calls take (MAX_PATH), the components
// past the longest leading folder they reach are opened one at a time, each
// as itself and refused when it is a junction or a link.
ScopedWinHandle OpenFolder(const char* path, uint64_t identity = 0);

// Opens the name of `length` bytes at `name` (one component of at most 255
// UTF-16 units) inside the folder `at` with
// `access`, an NtCreateFile `disposition` (FILE_OPEN, FILE_CREATE,
// FILE_OPEN_IF) and `options` (FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE
// or 0), for synchronous use, sharing as `share` says.
ScopedWinHandle OpenAt(HANDLE at, const char* name, size_t length, ACCESS_MASK access, ULONG disposition,
                       ULONG options, ULONG share = kShareAll);

// Opens the folder `name` inside `at` (made first when `create`) for listing,
// opening names inside it and setting its attributes; refused unless it is a
// folder and not a reparse point.
ScopedWinHandle OpenFolderAt(HANDLE at, const char* name, size_t length, bool create);

// The attributes of an open object; INVALID_FILE_ATTRIBUTES on failure.
DWORD AttributesOf(HANDLE handle);
// Sets an open object's attributes (as SetFileAttributes takes them; 0:
// unchanged) and, with `setTimes`, its last-access time to now and its
// last-write time to `modified` (seconds since 1970 UTC; -1: now).
bool SetBasic(HANDLE handle, DWORD attributes, bool setTimes = false, time_t modified = -1);
// The object goes when its last handle closes.
bool MarkForDeletion(HANDLE handle);

}  // namespace FolderRelative
