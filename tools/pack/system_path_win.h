// Paths for the builder's wide Win32 file calls, Windows only. A path as
// long as MAX_PATH - 12 units or longer (the limit of the plain path calls)
// is made full and given the "\\?\" prefix ("\\?\UNC\" for a share), which
// reaches paths of up to 32767 units; shorter paths are passed as they are.
#pragma once

#include <string>

namespace kvpack {

std::wstring SystemPath(const std::string& path);

// A name the system reported, in the program's narrow code page (UTF-8).
std::string NarrowName(const wchar_t* name);

}  // namespace kvpack
