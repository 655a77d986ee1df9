// Message boxes on Windows; on a window station nobody sees, a line
// "caption: text" on standard error instead (when one is attached), so that
// nothing waits for a click.
#include "framework/message_box.h"

#include <windows.h>

#include "framework/window.h"
#include "framework/window_station.h"

int PlatformMessageBox(const CWnd* owner, const std::string& text, const std::string& caption, unsigned flags) {
    if (!StationIsInteractive()) {
        const std::string line = caption + ": " + text + "\r\n";
        DWORD written;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return IdOkResult;
    }
    HWND window = owner ? static_cast<HWND>(owner->GetSafeHwnd()) : nullptr;
    return ::MessageBoxA(window, text.c_str(), caption.c_str(), flags);
}
