#include "command_text.h"

#include "version_info.h"

namespace kvpack {

std::u16string Utf16FromCommandLine(const std::string& text) { return Utf16FromUtf8(text); }

}  // namespace kvpack
