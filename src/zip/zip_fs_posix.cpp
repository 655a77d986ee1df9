// ZipFs on Linux; the meaning of each Windows notion is given in zip_fs.h.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include "zip/zip_buffer.h"
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

bool SetFileModTime(const std::string& path, time_t time) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    if (time == static_cast<time_t>(-1)) {
        times[1] = times[0];
    } else {
        times[1].tv_sec = time;
        times[1].tv_nsec = 0;
    }
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

namespace {

const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at `p` (of `n` bytes left); 0xFFFFFFFF and a
// length of 1 for a malformed one.
uint32_t DecodeUtf8(const unsigned char* p, size_t n, size_t& length) {
    length = 1;
    if (p[0] < 0x80) return p[0];
    int extra = (p[0] & 0xE0) == 0xC0 ? 1 : (p[0] & 0xF0) == 0xE0 ? 2 : (p[0] & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || static_cast<size_t>(extra) >= n) return 0xFFFFFFFFu;
    uint32_t cp = p[0] & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0xFFFFFFFFu;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    length = static_cast<size_t>(extra) + 1;
    return cp;
}

}  // namespace

void AnsiOem(CZipBuffer& buffer, bool toOem) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(buffer.data);
    const size_t n = buffer.size;
    std::string out;
    out.reserve(toOem ? n : n * 2);
    bool changed = false;
    for (size_t i = 0; i < n;) {
        if (in[i] < 0x80) {
            out += static_cast<char>(in[i++]);
            continue;
        }
        changed = true;
        if (!toOem) {
            AppendUtf8(out, kCp437High[in[i++] - 0x80]);
            continue;
        }
        size_t length;
        const uint32_t cp = DecodeUtf8(in + i, n - i, length);
        i += length;
        char mapped = '_';  // not representable in CP437
        for (int k = 0; k < 128; ++k)
            if (kCp437High[k] == cp) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        out += mapped;
    }
    if (changed) buffer.Assign(out.data(), static_cast<uint32_t>(out.size()));
}

bool IsLeadByte(unsigned char) { return false; }

unsigned long GetLastSystemError() { return static_cast<unsigned long>(errno); }

void SetLastSystemError(unsigned long error) { errno = static_cast<int>(error); }

}  // namespace ZipFs
