#include "command_text.h"

#include <windows.h>

#include "pack_error.h"

namespace kvpack {

std::u16string Utf16FromCommandLine(const std::string& text) {
    if (text.empty()) return std::u16string();
    const int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
    if (count <= 0) throw CPackError("'" + text + "' is not text in the system's code page");
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return std::u16string(wide.begin(), wide.end());
}

}  // namespace kvpack
