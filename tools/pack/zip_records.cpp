#include "zip_records.h"

#include <algorithm>

#include "pack_error.h"

namespace kvpack {

void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

namespace {

void Put64(std::string& s, uint64_t v) {
    Put32(s, static_cast<uint32_t>(v));
    Put32(s, static_cast<uint32_t>(v >> 32));
}

// The 32-bit field of a value: the value, or the marker when the value goes
// into the Zip64 field.
uint32_t Field32(uint64_t value) { return static_cast<uint32_t>(std::min(value, Zip64Marker)); }

// A Zip64 extended information field holding the given values; empty for none.
std::string Zip64Field(const uint64_t* values, size_t count) {
    std::string field;
    if (count == 0) return field;
    Put16(field, 0x0001);
    Put16(field, static_cast<uint32_t>(8 * count));
    for (size_t i = 0; i < count; ++i) Put64(field, values[i]);
    return field;
}

// A header that carries a Zip64 field says so in its version, in the local
// and the central header alike.
uint16_t VersionNeeded(const ZipHeaderFields& e) {
    const bool zip64 = e.localZip64 || NeedsZip64(e.localOffset) || NeedsZip64(e.compressedSize) ||
                       NeedsZip64(e.uncompressedSize);
    return zip64 ? VersionZip64 : e.versionNeeded;
}

std::string ExtraField(const std::string& zip64, const ZipHeaderFields& e) {
    std::string extra = zip64 + e.extra;
    if (extra.size() > 0xFFFF)
        throw CPackError("entry name '" + e.name.substr(0, 80) + "' is too long to be stored with Zip64 fields");
    return extra;
}

}  // namespace

std::string LocalHeader(const ZipHeaderFields& e) {
    // The local header has no offset; it holds both sizes when it holds one.
    const uint64_t sizes[] = {e.uncompressedSize, e.compressedSize};
    const std::string extra = ExtraField(Zip64Field(sizes, e.localZip64 ? 2 : 0), e);
    std::string h;
    Put32(h, 0x04034b50);
    Put16(h, VersionNeeded(e));
    Put16(h, e.flags);
    Put16(h, e.method);
    Put16(h, e.dosTime);
    Put16(h, e.dosDate);
    Put32(h, e.crc);
    Put32(h, e.localZip64 ? static_cast<uint32_t>(Zip64Marker) : Field32(e.compressedSize));
    Put32(h, e.localZip64 ? static_cast<uint32_t>(Zip64Marker) : Field32(e.uncompressedSize));
    Put16(h, static_cast<uint32_t>(e.name.size()));
    Put16(h, static_cast<uint32_t>(extra.size()));
    return h + e.name + extra;
}

std::string CentralHeader(const ZipHeaderFields& e, unsigned char hostSystem) {
    // Only the values whose field holds the marker, in this order.
    uint64_t values[3];
    size_t count = 0;
    for (uint64_t v : {e.uncompressedSize, e.compressedSize, e.localOffset})
        if (NeedsZip64(v)) values[count++] = v;
    const std::string extra = ExtraField(Zip64Field(values, count), e);
    const uint16_t needed = VersionNeeded(e);
    std::string h;
    Put32(h, 0x02014b50);
    Put16(h, (static_cast<uint32_t>(hostSystem) << 8) | std::max<uint16_t>(20, needed));
    Put16(h, needed);
    Put16(h, e.flags);
    Put16(h, e.method);
    Put16(h, e.dosTime);
    Put16(h, e.dosDate);
    Put32(h, e.crc);
    Put32(h, Field32(e.compressedSize));
    Put32(h, Field32(e.uncompressedSize));
    Put16(h, static_cast<uint32_t>(e.name.size()));
    Put16(h, static_cast<uint32_t>(extra.size()));
    Put16(h, 0);  // comment
    Put16(h, 0);  // disk number start
    Put16(h, 0);  // internal attributes
    Put32(h, e.externalAttributes);
    Put32(h, Field32(e.localOffset));
    return h + e.name + extra;
}

std::string EndRecords(uint64_t count, uint64_t size, uint64_t offset) {
    std::string end;
    if (count > 0xFFFF || NeedsZip64(size) || NeedsZip64(offset)) {
        // Zip64 end record, directly behind the central directory.
        Put32(end, 0x06064b50);
        Put64(end, 44);  // size of the rest of the record
        Put16(end, VersionZip64);
        Put16(end, VersionZip64);
        Put32(end, 0);  // this disk
        Put32(end, 0);  // disk of the central directory
        Put64(end, count);
        Put64(end, count);
        Put64(end, size);
        Put64(end, offset);
        // Its locator.
        Put32(end, 0x07064b50);
        Put32(end, 0);
        Put64(end, offset + size);
        Put32(end, 1);  // disks in all
    }
    const uint32_t count16 = static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF));
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, count16);
    Put16(end, count16);
    Put32(end, Field32(size));
    Put32(end, Field32(offset));
    Put16(end, 0);  // comment
    return end;
}

}  // namespace kvpack
