#include "pe_image.h"

#include <algorithm>

#include "pack_error.h"

namespace kvpack {

namespace {

void Need(const std::string& bytes, size_t at, size_t count) {
    if (at > bytes.size() || count > bytes.size() - at)
        throw CPackError("the program image ends inside its headers (offset " + std::to_string(at) + ")");
}

}  // namespace

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

uint16_t ReadLe16(const std::string& bytes, size_t at) {
    Need(bytes, at, 2);
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8);
}

uint32_t ReadLe32(const std::string& bytes, size_t at) {
    return ReadLe16(bytes, at) | static_cast<uint32_t>(ReadLe16(bytes, at + 2)) << 16;
}

void WriteLe16(std::string& bytes, size_t at, uint16_t value) {
    Need(bytes, at, 2);
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void WriteLe32(std::string& bytes, size_t at, uint32_t value) {
    WriteLe16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    WriteLe16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint32_t PeLayout::DirectoryRva(const std::string& bytes, int index) const {
    return static_cast<uint32_t>(index) < directoryCount ? ReadLe32(bytes, directoryOffset + 8 * index) : 0;
}

uint32_t PeLayout::DirectorySize(const std::string& bytes, int index) const {
    return static_cast<uint32_t>(index) < directoryCount ? ReadLe32(bytes, directoryOffset + 8 * index + 4) : 0;
}

size_t PeLayout::OffsetOf(uint32_t rva, uint32_t count) const {
    for (const PeSection& s : sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress <= s.rawSize &&
            count <= s.rawSize - (rva - s.virtualAddress))
            return s.rawOffset + (rva - s.virtualAddress);
    }
    throw CPackError("the program image refers to bytes outside its sections (address " + std::to_string(rva) + ")");
}

uint64_t PeLayout::EndOfSectionData() const {
    uint64_t end = sizeOfHeaders;
    for (const PeSection& s : sections)
        if (s.rawSize > 0 && uint64_t(s.rawOffset) + s.rawSize > end) end = uint64_t(s.rawOffset) + s.rawSize;
    return end;
}

bool IsPeImage(const std::string& bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    const uint32_t at = ReadLe32(bytes, 0x3C);
    return at <= bytes.size() - 4 && bytes.compare(at, 4, std::string("PE\0\0", 4)) == 0;
}

PeLayout ReadPeLayout(const std::string& bytes, const std::string& what) {
    if (!IsPeImage(bytes)) throw CPackError("'" + what + "' is not a Windows program (no PE header)");
    PeLayout layout;
    layout.coffOffset = ReadLe32(bytes, 0x3C) + 4;
    const uint16_t sectionCount = ReadLe16(bytes, layout.coffOffset + 2);
    const uint16_t optionalSize = ReadLe16(bytes, layout.coffOffset + 16);
    const size_t optional = layout.coffOffset + 20;
    const uint16_t magic = ReadLe16(bytes, optional);
    if (magic != 0x10B && magic != 0x20B)
        throw CPackError("'" + what + "' has an optional header of unknown kind (" + std::to_string(magic) + ")");
    const bool plus = magic == 0x20B;
    layout.sectionAlignment = ReadLe32(bytes, optional + 32);
    layout.fileAlignment = ReadLe32(bytes, optional + 36);
    layout.sizeOfImageOffset = optional + 56;
    layout.sizeOfHeaders = ReadLe32(bytes, optional + 60);
    layout.checksumOffset = optional + 64;
    layout.directoryCount = ReadLe32(bytes, optional + (plus ? 108 : 92));
    layout.directoryOffset = optional + (plus ? 112 : 96);
    if (layout.directoryCount > 16 || layout.directoryOffset + 8 * layout.directoryCount > optional + optionalSize)
        throw CPackError("'" + what + "' has a damaged data directory");
    if (layout.fileAlignment < 512 || (layout.fileAlignment & (layout.fileAlignment - 1)) ||
        layout.sectionAlignment < layout.fileAlignment || (layout.sectionAlignment & (layout.sectionAlignment - 1)))
        throw CPackError("'" + what + "' has alignments kvsfx-pack does not handle");
    layout.sectionTableOffset = optional + optionalSize;
    Need(bytes, layout.sectionTableOffset, SectionHeaderSize * sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t at = layout.sectionTableOffset + SectionHeaderSize * i;
        PeSection s;
        s.name = bytes.substr(at, 8).c_str();
        s.virtualSize = ReadLe32(bytes, at + 8);
        s.virtualAddress = ReadLe32(bytes, at + 12);
        s.rawSize = ReadLe32(bytes, at + 16);
        s.rawOffset = ReadLe32(bytes, at + 20);
        s.headerOffset = at;
        if (s.rawSize > 0 && (uint64_t(s.rawOffset) + s.rawSize > bytes.size()))
            throw CPackError("'" + what + "': section " + s.name + " lies beyond the end of the file");
        if (!layout.sections.empty() &&
            s.virtualAddress < AlignUp(layout.sections.back().virtualAddress +
                                           std::max(layout.sections.back().virtualSize, 1u),
                                       layout.sectionAlignment))
            throw CPackError("'" + what + "' has sections out of order");
        layout.sections.push_back(s);
    }
    if (layout.sections.empty()) throw CPackError("'" + what + "' has no sections");
    return layout;
}

void CPeChecksum::Add(const unsigned char* data, size_t count) {
    length_ += count;
    size_t i = 0;
    if (odd_ && count > 0) {
        sum_ += pending_ | static_cast<uint32_t>(data[0]) << 8;
        odd_ = false;
        i = 1;
    }
    for (; i + 1 < count; i += 2) {
        sum_ += data[i] | static_cast<uint32_t>(data[i + 1]) << 8;
        if (sum_ > 0xFFFFFFFFull) sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    }
    if (i < count) {
        pending_ = data[i];
        odd_ = true;
    }
}

uint32_t CPeChecksum::Finish() const {
    uint64_t sum = sum_ + (odd_ ? pending_ : 0);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + length_);
}

}  // namespace kvpack
