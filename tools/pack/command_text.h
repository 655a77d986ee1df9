// Text given on kvsfx-pack's command line as UTF-16, for the strings written
// into Windows resources: UTF-8 on Linux, the system's ANSI code page on
// Windows (which is UTF-8 where the program asks for it).
#pragma once

#include <string>

namespace kvpack {

// Throws CPackError for bytes that are not text in that encoding.
std::u16string Utf16FromCommandLine(const std::string& text);

}  // namespace kvpack
