// A small, independent reader for the archives the builder writes: walks the
// central directory, checks each local header against it, decrypts with the
// traditional method, inflates and checks the CRC. Used by the tests to read
// back what was written without relying on the builder's own code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packtest {

struct ProbeEntry {
    std::string name;
    uint16_t versionMadeBy = 0, flags = 0, method = 0, dosTime = 0, dosDate = 0;
    uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0, externalAttributes = 0, localOffset = 0;
    std::string data;        // decrypted, inflated contents
    unsigned char checkByte = 0;  // last decrypted encryption header byte
};

struct ProbeArchive {
    std::vector<ProbeEntry> entries;
    uint64_t bytesBefore = 0;  // bytes in front of the archive proper
};

// Throws std::runtime_error on any inconsistency (bad CRC, header mismatch,
// wrong password, ...).
ProbeArchive ProbeZip(const std::string& bytes, const std::string& password);

// The block of a launcher file: marker offset (or npos), L and text.
struct ProbeBlock {
    size_t markerOffset = std::string::npos;
    uint32_t length = 0;
    std::string text;
    size_t archiveOffset = 0;
};
ProbeBlock ProbeLauncher(const std::string& bytes);

uint32_t Get16(const std::string& s, size_t at);
uint32_t Get32(const std::string& s, size_t at);

}  // namespace packtest
