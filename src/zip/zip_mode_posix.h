// Linux only: the mode that an entry's attributes (as the entry headers give
// them for this platform, see zip_fs.h) make of a file or folder whose
// current type and mode are `current`. Folders keep owner read, write and
// search access.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace ZipFs {

mode_t ModeForAttributes(uint32_t attributes, mode_t current);

}  // namespace ZipFs
