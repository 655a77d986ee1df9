// Message boxes on Linux: one line on stderr, "caption: text"; the answer is
// always OK.
#include "framework/message_box.h"

#include <cstdio>

int PlatformMessageBox(const CWnd*, const std::string& text, const std::string& caption, unsigned) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return IdOkResult;
}
