// The parts of a Windows program image (PE32 or PE32+) that branding needs:
// the headers, the section table, the data directories and the checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvpack {

// Little-endian fields in a byte string; the reads throw CPackError when the
// field lies beyond the end.
uint16_t ReadLe16(const std::string& bytes, size_t at);
uint32_t ReadLe32(const std::string& bytes, size_t at);
void WriteLe16(std::string& bytes, size_t at, uint16_t value);
void WriteLe32(std::string& bytes, size_t at, uint32_t value);

// value rounded up to a multiple of alignment.
uint32_t AlignUp(uint32_t value, uint32_t alignment);

constexpr int DirectoryResources = 2;
constexpr int DirectoryCertificates = 4;
constexpr size_t SectionHeaderSize = 40;

struct PeSection {
    std::string name;
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
    size_t headerOffset = 0;  // where its 40-byte header lies in the file
};

struct PeLayout {
    size_t coffOffset = 0;          // the COFF file header, behind "PE\0\0"
    size_t sectionTableOffset = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint32_t sizeOfHeaders = 0;
    size_t sizeOfImageOffset = 0;
    size_t checksumOffset = 0;
    size_t directoryOffset = 0;     // the first data directory entry
    uint32_t directoryCount = 0;
    std::vector<PeSection> sections;

    uint32_t DirectoryRva(const std::string& bytes, int index) const;
    uint32_t DirectorySize(const std::string& bytes, int index) const;
    // File offset of count bytes at rva, which must lie in one section's file
    // data; throws CPackError otherwise.
    size_t OffsetOf(uint32_t rva, uint32_t count) const;
    // The end of the image's last section data in the file.
    uint64_t EndOfSectionData() const;
};

// True when bytes begin with an MZ header that leads to a PE signature.
bool IsPeImage(const std::string& bytes);

// Reads the headers; throws CPackError (naming what) for anything that is not
// a well-formed PE image.
PeLayout ReadPeLayout(const std::string& bytes, const std::string& what);

// The PE checksum, fed in pieces of any size: 16-bit sums with the carry
// folded back, plus the file length. The checksum field itself must read as
// zero in the bytes fed.
class CPeChecksum {
public:
    void Add(const unsigned char* data, size_t count);
    uint32_t Finish() const;

private:
    uint64_t sum_ = 0;
    uint64_t length_ = 0;
    bool odd_ = false;
    unsigned char pending_ = 0;
};

}  // namespace kvpack
