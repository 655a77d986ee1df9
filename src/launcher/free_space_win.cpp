#include "launcher/free_space.h"

#include <windows.h>

bool FreeBytesOnVolume(const std::string& folder, uint64_t& bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}
