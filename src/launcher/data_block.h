// The data block appended to a launcher file: marker, 32-bit little-endian
// text length L, L bytes of configuration text, then the ZIP archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The block is searched for in the window of DataBlockWindow bytes that
// follows offset DataBlockSearchStart; the first marker wins.
constexpr uint64_t DataBlockSearchStart = 100000;
constexpr size_t DataBlockWindow = 1048576;
constexpr size_t DataBlockMarkerSize = 6;
// The longest configuration text the launcher accepts.
constexpr uint32_t DataBlockMaxText = 1023;

// The six marker bytes. They are computed at run time so that the program
// image never holds them (the launcher would otherwise find itself).
const unsigned char* DataBlockMarker();

// Reads the configuration text from the data block of the launcher file.
// Shows the wait cursor meanwhile. Returns "" with no message when the file
// cannot be opened; returns "" after the message box "Data segment not
// found." when no marker is in the window, or when the block's length field
// is above DataBlockMaxText or the block is cut short by the end of the file.
// The text ends at its first zero byte.
std::string ReadDataBlock(const std::string& launcherPath);

// The file access of the reader, one implementation per platform: the file
// is opened for reading, and others may read it but not write it.
class CBlockFile {
public:
    CBlockFile() = default;
    ~CBlockFile();
    CBlockFile(const CBlockFile&) = delete;
    CBlockFile& operator=(const CBlockFile&) = delete;

    bool Open(const std::string& path);
    // Reads up to `size` bytes at `offset`; returns the number read, which is
    // less only at the end of the file or on a read error.
    size_t ReadAt(uint64_t offset, void* buffer, size_t size);

private:
    // The open file: a HANDLE on Windows, a descriptor on Linux; -1 when
    // closed (INVALID_HANDLE_VALUE on Windows).
    intptr_t handle = -1;
};
