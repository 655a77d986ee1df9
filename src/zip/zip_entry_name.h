// How an entry's stored name becomes its name inside the program (UTF-8),
// one rule on every platform:
// 1. general-purpose flag bit 11 set: the stored bytes are UTF-8;
// 2. otherwise an Info-ZIP Unicode Path extra field (0x7075, version 1)
//    whose CRC-32 matches the stored name gives the name in UTF-8;
// 3. otherwise a name from an MS-DOS host (0) is in code page 437;
// 4. otherwise the bytes are taken as they are, which is UTF-8 for every
//    producer that writes UTF-8 without saying so (Info-ZIP zip on Linux).
#pragma once

#include <cstdint>
#include <string>

class CZipBuffer;

struct CZipDecodedName {
    std::string text;
    // The text is well-formed UTF-8.
    bool wellFormed = true;
    // The archive declares the name UTF-8 (rule 1), so bytes that are not
    // well-formed UTF-8 are damage, not another encoding.
    bool declaredUtf8 = false;
};

CZipDecodedName DecodeEntryName(const CZipBuffer& storedName, uint16_t flags, int hostSystem,
                                const CZipBuffer& extraField);
