// Text forms of entry names. Names are UTF-8 inside the program on every
// platform; these helpers check UTF-8 and turn the other forms an archive
// may hold into it.
#pragma once

#include <cstddef>
#include <string>

namespace ZipText {

// True when no byte is 0x80 or above.
bool IsAscii(const char* bytes, size_t count);

// True for well-formed UTF-8: shortest forms only, no UTF-16 surrogate
// halves (U+D800-U+DFFF), nothing above U+10FFFF.
bool IsValidUtf8(const char* bytes, size_t count);

// The bytes read as code page 437 (the OEM code page of MS-DOS names),
// in UTF-8. Bytes below 0x80 stay as they are.
std::string Cp437ToUtf8(const char* bytes, size_t count);

// The bytes for a message: well-formed UTF-8 sequences as they are, every
// other byte as the four characters \xNN.
std::string ForDisplay(const char* bytes, size_t count);

}  // namespace ZipText
