// Writes the headers of a POSIX (pax) tar stream: a ustar header for each
// member, preceded by a pax extended header where the ustar fields cannot
// hold the member's name (longer than they allow, or not ASCII) or its size
// (8 GiB and more). Owner and group are 0 and unnamed.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kvpack {

struct TarMemberSpec {
    std::string name;  // '/' separators, no trailing '/'
    bool isFolder = false;
    uint64_t size = 0;
    uint32_t mode = 0644;  // permission bits
    int64_t mtime = 0;
};

// The header block(s) that come before the member's data.
std::string TarHeaders(const TarMemberSpec& member);
// The zero bytes that fill a member's data of `size` bytes to a whole block.
std::string TarPadding(uint64_t size);
// The end of the stream: two zero blocks.
std::string TarEnd();

}  // namespace kvpack
