#include "zip/zip_entry_name.h"

#include <zlib.h>

#include "zip/zip_buffer.h"
#include "zip/zip_name_text.h"

namespace {

const uint16_t kUtf8NameFlag = 0x0800;
const uint16_t kUnicodePathField = 0x7075;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The UTF-8 name of a usable Unicode Path field in `extra`, or false. A
// field that belongs to another name (CRC-32 mismatch: the name was changed
// by a tool that did not know the field), of another version, empty or not
// well-formed is passed over.
bool UnicodePathName(const CZipBuffer& extra, const CZipBuffer& storedName, std::string& name) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(extra.data);
    uint32_t at = 0;
    while (extra.size >= 4 && at <= extra.size - 4) {
        const uint16_t id = Get16(p + at);
        const uint32_t size = Get16(p + at + 2);
        const uint32_t body = at + 4;
        if (size > extra.size - body) return false;  // cut short
        if (id == kUnicodePathField && size > 5 && p[body] == 1) {
            const uint32_t storedCrc = static_cast<uint32_t>(p[body + 1]) | static_cast<uint32_t>(p[body + 2]) << 8 |
                                       static_cast<uint32_t>(p[body + 3]) << 16 |
                                       static_cast<uint32_t>(p[body + 4]) << 24;
            const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(storedName.data),
                                    storedName.size);
            const char* text = reinterpret_cast<const char*>(p + body + 5);
            if (crc == storedCrc && ZipText::IsValidUtf8(text, size - 5)) {
                name.assign(text, size - 5);
                return true;
            }
        }
        at = body + size;
    }
    return false;
}

}  // namespace

CZipDecodedName DecodeEntryName(const CZipBuffer& storedName, uint16_t flags, int hostSystem,
                                const CZipBuffer& extraField) {
    CZipDecodedName result;
    const char* bytes = storedName.data ? storedName.data : "";
    const size_t count = storedName.size;
    if (flags & kUtf8NameFlag) {
        result.declaredUtf8 = true;
    } else if (UnicodePathName(extraField, storedName, result.text)) {
        return result;
    } else if (hostSystem == 0) {
        result.text = ZipText::Cp437ToUtf8(bytes, count);
        return result;
    }
    result.text.assign(bytes, count);
    result.wellFormed = ZipText::IsValidUtf8(bytes, count);
    return result;
}
