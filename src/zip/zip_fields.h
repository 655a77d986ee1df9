// The little-endian fields of the archive's records, and the blocks of an
// entry's extra field (a 16-bit id and a 16-bit length before each body).
#pragma once

#include <cstdint>

namespace ZipField {

inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Get64(const unsigned char* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// Finds the first block `id` of an extra field of `size` bytes: its body and
// length. False when there is none before the end or before a block that is
// cut short.
bool FindExtraBlock(const unsigned char* extra, uint32_t size, uint16_t id, const unsigned char*& body,
                    uint32_t& length);

}  // namespace ZipField
