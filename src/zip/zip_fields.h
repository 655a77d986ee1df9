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

// Walks the blocks of an extra field of `size` bytes and calls
// visit(id, body, length) for each until it returns true; a block cut short
// by the end of the field ends the walk. True when a visit returned true.
template <typename Visit>
bool VisitExtraBlocks(const unsigned char* extra, uint32_t size, Visit visit) {
  uint32_t at = 0;
  while (size >= 4 && at <= size - 4) {
    const uint16_t id = Get16(extra + at);
    const uint32_t length = Get16(extra + at + 2);
    const uint32_t body = at + 4;
    if (length > size - body) return false;
    if (visit(id, extra + body, length)) return true;
    at = body + length;
  }
  return false;
}

}  // namespace ZipField
