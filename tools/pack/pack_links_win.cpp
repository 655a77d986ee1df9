#include "pack_links.h"

#include <windows.h>

#include <cctype>

#include "framework/scoped_win_handle.h"

namespace kvpack {

bool IsLink(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string ResolvedPath(const std::string& path) {
    ScopedWinHandle handle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid()) return "";
    DWORD needed = GetFinalPathNameByHandleA(handle.Get(), nullptr, 0, FILE_NAME_NORMALIZED);
    if (needed == 0) return "";
    std::string resolved(needed, '\0');
    DWORD length = GetFinalPathNameByHandleA(handle.Get(), &resolved[0], needed, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= needed) return "";
    resolved.resize(length);
    return resolved;
}

bool IsWithinFolder(const std::string& path, const std::string& folder) {
    if (path.size() < folder.size()) return false;
    for (size_t i = 0; i < folder.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(path[i])) != std::tolower(static_cast<unsigned char>(folder[i])))
            return false;
    }
    return path.size() == folder.size() || folder.back() == '\\' || path[folder.size()] == '\\';
}

}  // namespace kvpack
