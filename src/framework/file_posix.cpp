// CFile on POSIX descriptors; see file.h for the sharing approximation.
#include "framework/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

int CFileException::OsErrorToCause(long osError) {
    switch (osError) {
    case 0: return CauseNone;
    case ENOENT: return CauseFileNotFound;
    case ENOTDIR: case ENAMETOOLONG: case ELOOP: case EXDEV: case ENXIO: case ENODEV:
        return CauseBadPath;
    case EMFILE: case ENFILE: return CauseTooManyOpenFiles;
    case EACCES: case EPERM: case EROFS: case EEXIST: case EISDIR: case ETXTBSY:
        return CauseAccessDenied;
    case EBADF: return CauseInvalidFile;
    case EBUSY: case ENOTEMPTY: return CauseRemoveCurrentDir;
    case ESPIPE: case EINVAL: case EOVERFLOW: return CauseBadSeek;
    case EIO: return CauseHardIO;
    case EWOULDBLOCK: return CauseSharingViolation;
    case ENOLCK: case EDEADLK: return CauseLockViolation;
    case ENOSPC: case EDQUOT: case EFBIG: return CauseDiskFull;
    default: return CauseGeneric;
    }
}

namespace {

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::string cwd(256, '\0');
    while (!getcwd(&cwd[0], cwd.size())) {
        if (errno != ERANGE) return path;
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    if (path.empty()) return cwd;
    if (cwd.empty() || cwd.back() != '/') cwd += '/';
    return cwd + path;
}

}  // namespace

void CFile::CheckOpen() const {
    if (!IsOpen()) throw new CFileException(CFileException::CauseInvalidFile, EBADF, filePath);
}

CFile::~CFile() {
    if (closeOnDelete) Abort();
}

bool CFile::Open(const std::string& path, unsigned openFlags, CFileException* error) {
    if (IsOpen()) Abort();
    int access = O_RDONLY;
    if (openFlags & OpenReadWrite) access = O_RDWR;
    else if (openFlags & OpenWrite) access = O_WRONLY;
    const bool create = (openFlags & OpenCreate) != 0;
    const bool truncate = create && !(openFlags & OpenNoTruncate);
    const bool sharedLock = access == O_RDONLY && (openFlags & ShareDenyWrite);

    auto fail = [&](int err) {
        if (error) {
            error->cause = CFileException::OsErrorToCause(err);
            error->osError = err;
            error->fileName = path;
        }
        errno = err;
        return false;
    };

    int fd;
    do {
        fd = ::open(path.c_str(), access | (create ? O_CREAT : 0) | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(errno);

    struct stat st;
    if (fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }
    if (S_ISDIR(st.st_mode)) {  // CreateFileA refuses folders too
        ::close(fd);
        return fail(EISDIR);
    }
    if (flock(fd, (sharedLock ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK || err == EINTR) {
            ::close(fd);
            return fail(EWOULDBLOCK);
        }
        // No lock support on this file system: open without it.
    }
    if (truncate && st.st_size != 0 && ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }
    handle = fd;
    closeOnDelete = true;
    filePath = AbsolutePath(path);
    return true;
}

void CFile::ThrowLastError() const {
    CFileException::ThrowOsError(errno, filePath);
}

void CFile::Close() {
    if (!IsOpen()) return;
    int fd = static_cast<int>(handle);
    handle = InvalidHandle;
    closeOnDelete = false;
    std::string path;
    path.swap(filePath);
    if (::close(fd) != 0 && errno != EINTR) CFileException::ThrowOsError(errno, path);
}

void CFile::Abort() {
    if (!IsOpen()) return;
    ::close(static_cast<int>(handle));
    handle = InvalidHandle;
    closeOnDelete = false;
    filePath.clear();
}

void CFile::Flush() {
    if (!IsOpen()) return;
    if (fsync(static_cast<int>(handle)) != 0) ThrowLastError();
}

uint64_t CFile::GetPosition() const {
    CheckOpen();
    off_t pos = lseek(static_cast<int>(handle), 0, SEEK_CUR);
    if (pos < 0) ThrowLastError();
    return static_cast<uint64_t>(pos);
}

uint64_t CFile::Seek(int64_t offset, int origin) {
    CheckOpen();
    const off_t off = static_cast<off_t>(offset);
    int whence = origin == SeekBegin ? SEEK_SET : origin == SeekCurrent ? SEEK_CUR : SEEK_END;
    if (origin < SeekBegin || origin > SeekEnd) {
        errno = EINVAL;
        ThrowLastError();
    }
    off_t pos = lseek(static_cast<int>(handle), off, whence);
    if (pos < 0) ThrowLastError();
    return static_cast<uint64_t>(pos);
}

uint64_t CFile::GetLength() const {
    CheckOpen();
    struct stat st;
    if (fstat(static_cast<int>(handle), &st) != 0) ThrowLastError();
    return static_cast<uint64_t>(st.st_size);
}

void CFile::SetLength(uint64_t length) {
    CheckOpen();
    int r;
    do {
        r = ftruncate(static_cast<int>(handle), static_cast<off_t>(length));
    } while (r != 0 && errno == EINTR);
    if (r != 0) ThrowLastError();
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
    CheckOpen();
    char* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        size_t want = count - done;
        if (want > (size_t)SSIZE_MAX) want = SSIZE_MAX;
        ssize_t n = ::read(static_cast<int>(handle), out + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowLastError();
        }
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, uint32_t count) {
    CheckOpen();
    const char* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(static_cast<int>(handle), in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowLastError();
        }
        if (n == 0) {
            errno = ENOSPC;
            ThrowLastError();
        }
        done += static_cast<uint32_t>(n);
    }
}
