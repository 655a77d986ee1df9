#include "system_path_win.h"

#include <windows.h>

namespace kvpack {

std::wstring SystemPath(const std::string& path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0], units);
    if (wide.size() < MAX_PATH - 12 || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    // The prefix turns off the system's own clean-up of the path: it is
    // made full (separators, "." and "..") first.
    std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length =
        full.empty() ? 0 : GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0 || length >= full.size()) return wide;
    full.resize(length);
    return full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

std::string NarrowName(const wchar_t* name) {
    const int size = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 1 ? size : 1), '\0');
    if (size > 1) WideCharToMultiByte(CP_ACP, 0, name, -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

}  // namespace kvpack
