// Room for the payload: the run compares the total of the entries' declared
// sizes with the free space of the work folder's volume before it extracts,
// and refuses instead of filling the disk.
#pragma once

#include <cstdint>
#include <string>

// Bytes that the user running the launcher may still write on the volume
// that holds the folder; false when the system cannot tell.
// Linux: statvfs (f_bavail blocks of f_frsize bytes). Windows:
// GetDiskFreeSpaceExA (free bytes available to the caller, quotas included).
bool FreeBytesOnVolume(const std::string& folder, uint64_t& bytes);

// "" when needed bytes fit into the folder's volume (or its free space is
// unknown); else the message for the user, "... needs X MB, Y MB free."
// with X rounded up and Y rounded down to whole MB (2^20 bytes).
std::string FreeSpaceShortfall(const std::string& folder, uint64_t needed);
