#include "zip/zip_entry_name.h"

#include <zlib.h>

#include "zip/zip_buffer.h"
#include "zip/zip_fields.h"
#include "zip/zip_name_text.h"

namespace {

const uint16_t kUtf8NameFlag = 0x0800;
const uint16_t kUnicodePathField = 0x7075;

// The UTF-8 name of a usable Unicode Path field in `extra`, or false. A
// field that belongs to another name (CRC-32 mismatch: the name was changed
// by a tool that did not know the field), of another version, empty or not
// well-formed is passed over.
bool UnicodePathName(const CZipBuffer& extra, const CZipBuffer& storedName, std::string& name) {
    const unsigned char* body;
    uint32_t size;
    if (!ZipField::FindExtraBlock(reinterpret_cast<const unsigned char*>(extra.data), extra.size, kUnicodePathField,
                                  body, size) ||
        size <= 5 || body[0] != 1)
        return false;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(storedName.data), storedName.size);
    const char* text = reinterpret_cast<const char*>(body + 5);
    if (crc != ZipField::Get32(body + 1) || !ZipText::IsValidUtf8(text, size - 5)) return false;
    name.assign(text, size - 5);
    return true;
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
