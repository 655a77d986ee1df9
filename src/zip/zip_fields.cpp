#include "zip/zip_fields.h"

namespace ZipField {

bool FindExtraBlock(const unsigned char* extra, uint32_t size, uint16_t id, const unsigned char*& body,
                    uint32_t& length) {
  uint32_t at = 0;
  while (size >= 4 && at <= size - 4) {
    const uint32_t blockLength = Get16(extra + at + 2);
    if (blockLength > size - at - 4) return false;
    if (Get16(extra + at) == id) {
      body = extra + at + 4;
      length = blockLength;
      return true;
    }
    at += 4 + blockLength;
  }
  return false;
}

}  // namespace ZipField
