#include "launcher/absolute_path.h"

#include <windows.h>

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return "";
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return "";
    std::string full(needed, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return "";
    full.resize(length);
    return full;
}
