#include "pack_links.h"

#include <windows.h>

#include <cctype>

#include "framework/scoped_win_handle.h"
#include "system_path_win.h"

namespace kvpack {

std::string ResolvedPath(const std::string& path) {
    ScopedWinHandle handle(CreateFileW(SystemPath(path).c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid()) return "";
    // Asked with a buffer that is too small, the call answers the size it
    // needs; grow and ask again until the path fits.
    std::string resolved(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleA(handle.Get(), &resolved[0], static_cast<DWORD>(resolved.size()),
                                                 FILE_NAME_NORMALIZED);
        if (length == 0) return "";
        if (length < resolved.size()) {
            resolved.resize(length);
            return resolved;
        }
        resolved.assign(length + 1, '\0');
    }
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
