#include "launcher/free_space.h"

std::string FreeSpaceShortfall(const std::string& folder, uint64_t needed) {
    uint64_t available = 0;
    if (!FreeBytesOnVolume(folder, available) || needed <= available) return "";
    const uint64_t megabyte = uint64_t(1) << 20;
    const uint64_t neededMb = needed / megabyte + (needed % megabyte != 0 ? 1 : 0);
    return "Not enough free space to extract into \"" + folder + "\": the payload needs " + std::to_string(neededMb) +
           " MB, " + std::to_string(available / megabyte) + " MB free.";
}
