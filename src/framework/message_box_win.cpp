// Message boxes on Windows; on a window station nobody sees, a line
// "caption: text" on standard error instead (when one is attached), so that
// nothing waits for a click.
#include "framework/message_box.h"

#include <windows.h>

#include "framework/window.h"
#include "framework/window_station.h"

int PlatformMessageBox(const CWnd* owner, const std::string& text, const std::string& caption, unsigned flags) {
    if (!StationIsInteractive()) {
        // The line is written in pieces: no text is put together for it.
        const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        DWORD written;
        WriteFile(error, caption.data(), static_cast<DWORD>(caption.size()), &written, nullptr);
        WriteFile(error, ": ", 2, &written, nullptr);
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        WriteFile(error, "\r\n", 2, &written, nullptr);
        return IdOkResult;
    }
    HWND window = owner ? static_cast<HWND>(owner->GetSafeHwnd()) : nullptr;
    return ::MessageBoxA(window, text.c_str(), caption.c_str(), flags);
}
