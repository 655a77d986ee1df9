// Test helper for Windows GUI tests under Wine: waits for a message box with
// the given caption, prints its text on stdout, and presses its OK button.
// Only top-level windows are visible to X tools under Wine, so the text
// inside a box can only be read from a Win32 program in the same prefix.
//
// usage: msgbox_helper CAPTION [TIMEOUT_MS]
// exit codes: 0 box found, read and closed; 1 no such box within the time;
//             2 usage; 3 the box did not close after OK.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Search {
    const char* caption;
    HWND found;
};

// A message box: a top-level window with the caption that has the box's
// text control (identifier 0xFFFF).
BOOL CALLBACK Visit(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char caption[512] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(caption, search->caption) == 0 && GetDlgItem(window, 0xFFFF) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindBox(const char* caption) {
    // FindWindowA answers at once for the usual case; the walk also finds a
    // box when another window has the same caption.
    HWND window = FindWindowA(nullptr, caption);
    if (window && GetDlgItem(window, 0xFFFF)) return window;
    Search search = {caption, nullptr};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: msgbox_helper CAPTION [TIMEOUT_MS]\n");
        return 2;
    }
    const char* caption = argv[1];
    DWORD timeout = argc == 3 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 20000;

    DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindBox(caption))) {
        if (GetTickCount() - start > timeout) {
            std::fprintf(stderr, "msgbox_helper: no box \"%s\" within %lu ms\n", caption,
                         static_cast<unsigned long>(timeout));
            return 1;
        }
        Sleep(100);
    }
    // Let the box finish drawing its text.
    Sleep(200);
    char text[4096] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("%s\n", text);
    std::fflush(stdout);

    HWND ok = GetDlgItem(box, IDOK);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(100);
    if (IsWindow(box)) {
        std::fprintf(stderr, "msgbox_helper: box \"%s\" still open after OK\n", caption);
        return 3;
    }
    return 0;
}
