// Operating-system helpers of the archive reader. Only RemoveFile and
// RenameFile throw (CZipException 113 / 114, when asked to); every other
// function reports failure by its result.
//
// Paths are UTF-8 on both platforms. Windows calls the narrow Win32
// functions, which take UTF-8 because the programs' manifests set the active
// code page to UTF-8. Linux meanings:
// - FolderExists tests the path with stat() instead of changing the current
//   folder for a moment;
// - CreateFolder makes mode 0755 (less the umask);
// - RenameFile refuses to replace an existing target, as MoveFileA does;
// - SetAttributes takes the value the entry headers produce for this
//   platform: the Unix permission bits in the upper 16 bits (used when
//   non-zero, setuid/setgid/sticky dropped) and the MS-DOS bits in the lower
//   half, of which read-only (0x01) clears every write bit and its absence
//   gives the owner write access; hidden, system and archive bits have no
//   meaning. Folders always keep owner read, write and search access, so
//   that the entries inside them can still be extracted;
// - drives: IsDriveRemovable is false, SetVolumeName fails, and
//   GetDeviceFreeSpace answers the free space of the file system holding the
//   path (or the nearest existing folder above it): a single-file archive on
//   a fixed disk behaves as on Windows;
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace ZipFs {

// 0 nothing exists under `path`; -1 a folder; 1 anything else.
int FileExists(const std::string& path);
bool FolderExists(const std::string& path);
bool GetCurrentFolder(std::string& path);
bool ChangeFolder(const std::string& path);
// Creates one folder.
bool CreateFolder(const std::string& path);
// Creates `path` and every missing folder above it; true when it exists as a
// folder afterwards (an existing folder counts); false when a file is in the
// way or a folder cannot be made.
bool ForceFolder(const std::string& path);
// Deletes a file; failure throws CZipException 113 (with `path`) when
// `throwOnError`, else returns false.
bool RemoveFile(const std::string& path, bool throwOnError = true);
// Renames or moves a file; never replaces an existing target. Failure throws
// CZipException 114 (with `from`) when `throwOnError`, else returns false.
bool RenameFile(const std::string& from, const std::string& to, bool throwOnError = true);
bool SetAttributes(const std::string& path, uint32_t attributes);
// Last-access time = now, last-write time = `time` (seconds since 1970 UTC);
// -1 sets both to now.
bool SetFileModTime(const std::string& path, time_t time);
// The drive of `path` is a removable one.
bool IsDriveRemovable(const std::string& path);
// Labels the volume of `path`'s drive.
bool SetVolumeName(const std::string& path, const std::string& label);
// Free bytes on `path`'s drive, 0 when unknown; 0xFFFFFFFF when there are
// more than that.
uint32_t GetDeviceFreeSpace(const std::string& path);

// The thread's last system error (GetLastError / errno) and its setter.
unsigned long GetLastSystemError();
void SetLastSystemError(unsigned long error);

}  // namespace ZipFs
