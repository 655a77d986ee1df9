// POSIX side of the builder's platform operations.
#include "pack_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "pack_error.h"

namespace kvpack {

const unsigned char PlatformHostSystem = 3;
const char PlatformSeparator = '/';

static std::string Reason() { return std::strerror(errno); }

CPackFile::~CPackFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void CPackFile::OpenRead(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw CPackError("cannot open '" + path + "': " + Reason());
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw CPackError("cannot open '" + path + "': it is a folder");
    }
    handle_ = fd;
    path_ = path;
}

bool CPackFile::CreateNew(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        throw CPackError("cannot create '" + path + "': " + Reason());
    }
    handle_ = fd;
    path_ = path;
    return true;
}

bool CPackFile::IsOpen() const { return handle_ >= 0; }

void CPackFile::Close() {
    if (handle_ >= 0) {
        int rc = ::close(static_cast<int>(handle_));
        handle_ = -1;
        if (rc != 0) throw CPackError("cannot close '" + path_ + "': " + Reason());
    }
}

size_t CPackFile::Read(void* buffer, size_t count) {
    for (;;) {
        ssize_t got = ::read(static_cast<int>(handle_), buffer, count);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno != EINTR) throw CPackError("cannot read '" + path_ + "': " + Reason());
    }
}

void CPackFile::Write(const void* data, size_t count) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t put = ::write(static_cast<int>(handle_), p, count);
        if (put < 0) {
            if (errno == EINTR) continue;
            throw CPackError("cannot write '" + path_ + "': " + Reason());
        }
        p += put;
        count -= static_cast<size_t>(put);
    }
}

void CPackFile::Seek(uint64_t offset) {
    if (::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0)
        throw CPackError("cannot seek in '" + path_ + "': " + Reason());
}

uint64_t CPackFile::Tell() {
    off_t pos = ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
    if (pos < 0) throw CPackError("cannot seek in '" + path_ + "': " + Reason());
    return static_cast<uint64_t>(pos);
}

uint64_t CPackFile::Size() {
    struct stat st;
    if (fstat(static_cast<int>(handle_), &st) != 0)
        throw CPackError("cannot query '" + path_ + "': " + Reason());
    return static_cast<uint64_t>(st.st_size);
}

void CPackFile::Truncate(uint64_t length) {
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length)) != 0)
        throw CPackError("cannot truncate '" + path_ + "': " + Reason());
}

FileInfo StatPath(const std::string& path) {
    FileInfo info;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return info;
        throw CPackError("cannot query '" + path + "': " + Reason());
    }
    info.exists = true;
    info.isFolder = S_ISDIR(st.st_mode);
    info.isFile = S_ISREG(st.st_mode);
    info.size = info.isFile ? static_cast<uint64_t>(st.st_size) : 0;
    info.modified = st.st_mtime;
    // Unix mode in the upper half; the DOS folder and read-only bits in the
    // lower half, as other Unix archivers write them.
    uint32_t attributes = static_cast<uint32_t>(st.st_mode & 0xFFFF) << 16;
    if (info.isFolder) attributes |= 0x10;
    if (!(st.st_mode & S_IWUSR)) attributes |= 0x01;
    info.externalAttributes = attributes;
    info.identity = std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
                    std::to_string(static_cast<unsigned long long>(st.st_ino));
    return info;
}

std::vector<std::string> ListFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) throw CPackError("cannot read folder '" + path + "': " + Reason());
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    int failed = errno;
    ::closedir(dir);
    if (failed) throw CPackError("cannot read folder '" + path + "': " + std::strerror(failed));
    return names;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool LocalTime(std::time_t t, std::tm& out) { return ::localtime_r(&t, &out) != nullptr; }

void MoveIntoPlace(const std::string& source, const std::string& target) {
    if (::rename(source.c_str(), target.c_str()) != 0)
        throw CPackError("cannot rename '" + source + "' to '" + target + "': " + Reason());
}

void RemoveFileQuietly(const std::string& path) { ::unlink(path.c_str()); }

void RemoveEmptyFolderQuietly(const std::string& path) { ::rmdir(path.c_str()); }

void CopyPermissions(const std::string& model, CPackFile& target) {
    struct stat st;
    if (::stat(model.c_str(), &st) != 0) return;
    if (::chmod(target.Path().c_str(), st.st_mode & 0777) != 0)
        throw CPackError("cannot set the mode of '" + target.Path() + "': " + Reason());
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void FillRandom(unsigned char* buffer, size_t count) {
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    size_t done = 0;
    if (fd >= 0) {
        while (done < count) {
            ssize_t got = ::read(fd, buffer + done, count - done);
            if (got <= 0) {
                if (got < 0 && errno == EINTR) continue;
                break;
            }
            done += static_cast<size_t>(got);
        }
        ::close(fd);
    }
    if (done < count) throw CPackError("cannot read the system's random source");
}

// The path lives in a fixed buffer so that the signal handler touches no
// allocator.
static char g_interruptPath[PATH_MAX];
static volatile sig_atomic_t g_interruptArmed = 0;

static void OnInterrupt(int sig) {
    if (g_interruptArmed) ::unlink(g_interruptPath);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

bool CreateRemovedOnInterrupt(CPackFile& file, const std::string& path) {
    if (path.size() >= sizeof g_interruptPath) return file.CreateNew(path);
    static const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigset_t held, previous;
    sigemptyset(&held);
    for (int sig : signals) {
        ::sigaction(sig, &sa, nullptr);
        sigaddset(&held, sig);
    }
    // Held back until the path is recorded, so that an interrupt never finds
    // a file it does not know about, nor a name that is not ours.
    ::sigprocmask(SIG_BLOCK, &held, &previous);
    bool created = false;
    try {
        created = file.CreateNew(path);
    } catch (...) {
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    if (created) {
        std::memcpy(g_interruptPath, path.c_str(), path.size() + 1);
        g_interruptArmed = 1;
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return created;
}

void ForgetOnInterrupt() { g_interruptArmed = 0; }

}  // namespace kvpack
