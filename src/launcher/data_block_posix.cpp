// File access of the block reader on Linux: a read-only descriptor and pread.
#include "launcher/data_block.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CBlockFile::~CBlockFile() {
    if (handle >= 0) close(static_cast<int>(handle));
}

bool CBlockFile::Open(const std::string& path) {
    if (path.empty()) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Only a regular file can be a launcher file (a folder cannot be opened
    // as a file on Windows either).
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    handle = fd;
    return true;
}

size_t CBlockFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
    size_t done = 0;
    while (handle >= 0 && done < size) {
        const ssize_t got = pread(static_cast<int>(handle), static_cast<char*>(buffer) + done, size - done,
                                  static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}
