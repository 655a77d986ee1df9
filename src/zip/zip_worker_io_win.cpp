#include "zip/zip_worker_io.h"

#include <windows.h>

namespace {

HANDLE H(CFile::Handle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

int64_t ZipWorkerIo::ReadAt(CFile::Handle file, void* buffer, uint32_t count, uint64_t offset, long& error) {
  uint32_t done = 0;
  while (done < count) {
    // On a synchronous handle an OVERLAPPED offset reads there and moves
    // only this handle's position: the worker's own handle.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD n = 0;
    if (!ReadFile(H(file), static_cast<char*>(buffer) + done, count - done, &n, &at)) {
      const DWORD why = GetLastError();
      if (why == ERROR_HANDLE_EOF) break;
      error = static_cast<long>(why);
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool ZipWorkerIo::WriteAll(CFile::Handle file, const void* buffer, uint32_t count, long& error) {
  uint32_t done = 0;
  while (done < count) {
    DWORD n = 0;
    if (!WriteFile(H(file), static_cast<const char*>(buffer) + done, count - done, &n, nullptr)) {
      error = static_cast<long>(GetLastError());
      return false;
    }
    if (n == 0) {
      error = ERROR_DISK_FULL;
      return false;
    }
    done += n;
  }
  return true;
}
