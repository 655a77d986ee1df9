// The header records of the archives the builder writes: local and central
// file headers and the end records. Zip64 forms appear only where a value
// does not fit its 32- or 16-bit field: the Zip64 extended information field
// (0x0001) in a file header, the Zip64 end record and its locator before the
// ordinary end record. An archive that needs none comes out as it did before
// the writer knew Zip64.
#pragma once

#include <cstdint>
#include <string>

namespace kvpack {

// A 32-bit size or offset field holds this when the value is in the Zip64
// extended information field; a 16-bit count holds 0xFFFF.
constexpr uint64_t Zip64Marker = 0xFFFFFFFF;
constexpr uint16_t VersionZip64 = 45;

struct ZipHeaderFields {
    std::string name;
    std::string extra;  // fields other than Zip64 (the Unicode Path field)
    uint16_t versionNeeded = 10;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;  // from the archive's first byte
    uint32_t externalAttributes = 0;
    // The local header carries both sizes in a Zip64 field (decided before
    // the data is written, as the header's length cannot change after).
    bool localZip64 = false;
};

// Whether a value needs the Zip64 field instead of its 32-bit one.
inline bool NeedsZip64(uint64_t value) { return value >= Zip64Marker; }

// Both throw CPackError when the extra field would grow beyond 65,535 bytes.
std::string LocalHeader(const ZipHeaderFields& e);
std::string CentralHeader(const ZipHeaderFields& e, unsigned char hostSystem);

// The end of the archive behind a central directory of `count` headers,
// `size` bytes long, at `offset` from the archive's first byte.
std::string EndRecords(uint64_t count, uint64_t size, uint64_t offset);

void Put16(std::string& s, uint32_t v);
void Put32(std::string& s, uint32_t v);

}  // namespace kvpack
