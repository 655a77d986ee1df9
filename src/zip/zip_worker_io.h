// File operations for code on a worker thread: a positional read of the
// archive and a write to an output file, by handle. Neither throws nor calls
// the C library where the worker is a bare thread; a failure comes back as
// the system's error number.
#pragma once

#include <cstdint>

#include "framework/file.h"

namespace ZipWorkerIo {

// Reads up to `count` bytes at `offset` without moving the handle's file
// position (on Windows: the handle must be one of the worker's own). The
// bytes read (0 at the end of the file), or -1 with `error` set.
int64_t ReadAt(CFile::Handle file, void* buffer, uint32_t count, uint64_t offset, long& error);
// Writes all `count` bytes; false with `error` set (a full disk included).
bool WriteAll(CFile::Handle file, const void* buffer, uint32_t count, long& error);

}  // namespace ZipWorkerIo
