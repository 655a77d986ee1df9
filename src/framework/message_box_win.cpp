// Message boxes on Windows.
#include "framework/message_box.h"

#include <windows.h>

#include "framework/window.h"

int PlatformMessageBox(const CWnd* owner, const std::string& text, const std::string& caption, unsigned flags) {
    HWND window = owner ? static_cast<HWND>(owner->GetSafeHwnd()) : nullptr;
    return ::MessageBoxA(window, text.c_str(), caption.c_str(), flags);
}
