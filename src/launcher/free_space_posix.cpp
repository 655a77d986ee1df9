#include "launcher/free_space.h"

#include <sys/statvfs.h>

bool FreeBytesOnVolume(const std::string& folder, uint64_t& bytes) {
    struct statvfs volume;
    if (statvfs(folder.c_str(), &volume) != 0) return false;
    bytes = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
    return true;
}
