#include "zip/zip_worker_io.h"

#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "zip/zip_bare_thread_posix.h"

namespace {

// read/write system calls: the count moved, or minus the error number.
long PositionalRead(int fd, void* buffer, uint32_t count, uint64_t offset) {
#ifdef KVSFX_LIBRARY_THREAD
  const ssize_t n = pread(fd, buffer, count, static_cast<off_t>(offset));
  return n < 0 ? -errno : n;
#else
  return BareSyscall(SYS_pread64, fd, reinterpret_cast<long>(buffer), count, static_cast<long>(offset));
#endif
}

long Write(int fd, const void* buffer, uint32_t count) {
#ifdef KVSFX_LIBRARY_THREAD
  const ssize_t n = write(fd, buffer, count);
  return n < 0 ? -errno : n;
#else
  return BareSyscall(SYS_write, fd, reinterpret_cast<long>(buffer), count, 0);
#endif
}

}  // namespace

int64_t ZipWorkerIo::ReadAt(CFile::Handle file, void* buffer, uint32_t count, uint64_t offset, long& error) {
  uint32_t done = 0;
  while (done < count) {
    const long n = PositionalRead(static_cast<int>(file), static_cast<char*>(buffer) + done, count - done, offset + done);
    if (n == -EINTR) continue;
    if (n < 0) {
      error = -n;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

bool ZipWorkerIo::WriteAll(CFile::Handle file, const void* buffer, uint32_t count, long& error) {
  uint32_t done = 0;
  while (done < count) {
    const long n = Write(static_cast<int>(file), static_cast<const char*>(buffer) + done, count - done);
    if (n == -EINTR) continue;
    if (n < 0) {
      error = -n;
      return false;
    }
    done += static_cast<uint32_t>(n);
  }
  return true;
}
