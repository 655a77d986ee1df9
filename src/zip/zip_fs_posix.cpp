// ZipFs on Linux; the meaning of each Windows notion is given in zip_fs.h.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_mode_posix.h"
#include "zip/zip_path.h"

CZipPath::Style CZipPath::NativeStyle() { return Style::Posix; }

namespace ZipFs {

int FileExists(const std::string& path) {
    struct stat st;
    if (path.empty() || lstat(path.c_str(), &st) != 0) return 0;
    return FolderExists(path) ? -1 : 1;
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool GetCurrentFolder(std::string& path) {
    std::string buffer(256, '\0');
    while (!getcwd(&buffer[0], buffer.size())) {
        if (errno != ERANGE) return false;
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    path = buffer;
    return true;
}

bool ChangeFolder(const std::string& path) { return chdir(path.c_str()) == 0; }

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

bool RemoveFile(const std::string& path, bool throwOnError) {
    if (unlink(path.c_str()) == 0) return true;
    if (throwOnError) ThrowZipError(ErrRemoveFile, path);
    return false;
}

bool RenameFile(const std::string& from, const std::string& to, bool throwOnError) {
    int r = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace form.
        struct stat st;
        if (lstat(to.c_str(), &st) == 0) errno = EEXIST;
        else r = rename(from.c_str(), to.c_str());
    }
    if (r == 0) return true;
    if (throwOnError) ThrowZipError(ErrRenameFile, from);
    return false;
}

mode_t ModeForAttributes(uint32_t attributes, mode_t current) {
    const mode_t given = static_cast<mode_t>((attributes >> 16) & 0777);
    mode_t mode = given ? given : (current & 0777);
    if (attributes & 0x01) mode &= ~static_cast<mode_t>(0222);
    else if (!given) mode |= 0200;
    if (S_ISDIR(current)) mode |= 0700;
    return mode;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    return chmod(path.c_str(), ModeForAttributes(attributes, st.st_mode)) == 0;
}

void ModTimes(time_t time, struct timespec times[2]) {
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    if (time == static_cast<time_t>(-1)) {
        times[1] = times[0];
    } else {
        times[1].tv_sec = time;
        times[1].tv_nsec = 0;
    }
}

bool SetFileModTime(const std::string& path, time_t time) {
    struct timespec times[2];
    ModTimes(time, times);
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool IsDriveRemovable(const std::string&) { return false; }

bool SetVolumeName(const std::string&, const std::string&) { return false; }

uint32_t GetDeviceFreeSpace(const std::string& path) {
    std::string p = path.empty() ? std::string(".") : path;
    for (int depth = 0; depth < 256; ++depth) {
        struct statvfs vfs;
        if (statvfs(p.c_str(), &vfs) == 0) {
            const unsigned long long bytes =
                static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
            return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
        }
        // Not there (yet): ask for the nearest folder above it.
        const std::string parent = CZipPath(p).FolderPath();
        if (parent.empty()) p = ".";
        else if (parent.size() < p.size()) p = parent;
        else break;
    }
    return 0;
}

unsigned long GetLastSystemError() { return static_cast<unsigned long>(errno); }

void SetLastSystemError(unsigned long error) { errno = static_cast<int>(error); }

}  // namespace ZipFs
