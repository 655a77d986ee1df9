// Linux only: what the entry headers' attributes and times make of a file or
// folder on disk.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstdint>

namespace ZipFs {

// The mode that an entry's attributes (as the entry headers give them for
// this platform, see zip_fs.h) make of a file or folder whose current type
// and mode are `current`. Folders keep owner read, write and search access.
mode_t ModeForAttributes(uint32_t attributes, mode_t current);

// The access and modification times for utimensat/futimens: access now,
// modification `time` (seconds since 1970 UTC), or now when it is -1.
void ModTimes(time_t time, struct timespec times[2]);

}  // namespace ZipFs
