// ZipFs on Win32 (ANSI calls).
#include <windows.h>

#include <direct.h>

#include <string>

#include "framework/folder_relative_win.h"
#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_path.h"

CZipPath::Style CZipPath::NativeStyle() { return Style::Windows; }

namespace ZipFs {

namespace {

// The drive part of `path` with trailing separators removed and one
// backslash appended: the root of the drive.
std::string DriveRoot(const std::string& drive) {
    std::string root = drive;
    while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    return root + '\\';
}

}  // namespace

int FileExists(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
    return FolderExists(path) ? -1 : 1;
}

bool FolderExists(const std::string& path) {
    std::string current;
    if (!GetCurrentFolder(current)) return false;
    if (!ChangeFolder(path)) return false;
    ChangeFolder(current);
    return true;
}

bool GetCurrentFolder(std::string& path) {
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return false;
    std::string buffer(needed, '\0');
    DWORD n = GetCurrentDirectoryA(needed, &buffer[0]);
    if (n == 0 || n >= needed) return false;
    buffer.resize(n);
    path = buffer;
    return true;
}

bool ChangeFolder(const std::string& path) { return _chdir(path.c_str()) == 0; }

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::string& path, bool throwOnError) {
    if (DeleteFileA(path.c_str())) return true;
    if (throwOnError) ThrowZipError(ErrRemoveFile, path);
    return false;
}

bool RenameFile(const std::string& from, const std::string& to, bool throwOnError) {
    if (MoveFileA(from.c_str(), to.c_str())) return true;
    if (throwOnError) ThrowZipError(ErrRenameFile, from);
    return false;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
    return SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool SetFileModTime(const std::string& path, time_t time) {
    // Opened for writing: fails on a read-only file, as the runtime's call does.
    const ScopedWinHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && FolderRelative::SetBasic(file.Get(), 0, true, time);
}

bool IsDriveRemovable(const std::string& path) {
    return GetDriveTypeA(CZipPath(path).drive.c_str()) == DRIVE_REMOVABLE;
}

bool SetVolumeName(const std::string& path, const std::string& label) {
    return SetVolumeLabelA(DriveRoot(CZipPath(path).drive).c_str(), label.c_str()) != 0;
}

uint32_t GetDeviceFreeSpace(const std::string& path) {
    const std::string drive = CZipPath(path).drive;
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(drive.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters) &&
        !GetDiskFreeSpaceA(DriveRoot(drive).c_str(), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &totalClusters))
        return 0;
    // The product in 64 bits, held at the largest 32-bit value instead of
    // wrapping around.
    const unsigned long long bytes = static_cast<unsigned long long>(sectorsPerCluster) *
                                     bytesPerSector * freeClusters;
    return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

unsigned long GetLastSystemError() { return GetLastError(); }

void SetLastSystemError(unsigned long error) { SetLastError(static_cast<DWORD>(error)); }

}  // namespace ZipFs
