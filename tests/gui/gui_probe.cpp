// The program that GUI tests put into launcher files. It appends to the file
// named by KVSFX_PROBE_OUT what the test needs to know at the moment it was
// started: its current folder and whether the launcher's progress window
// (caption KVSFX_PROBE_CAPTION) is still shown. It then stays for
// KVSFX_PROBE_HOLD_MS milliseconds, so that the test can look at the screen
// while it runs, and writes "end". When the window is there it also reports
// its bar's position and upper bound ("bar POS UPPER").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
    std::string out = Env("KVSFX_PROBE_OUT");
    if (out.empty()) return 3;
    FILE* report = std::fopen(out.c_str(), "a");
    if (!report) return 3;
    std::fprintf(report, "started\n");
    for (int i = 1; i < argc; ++i) std::fprintf(report, "arg %s\n", argv[i]);
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    std::fprintf(report, "cwd %s\n", cwd);
    std::string caption = Env("KVSFX_PROBE_CAPTION");
    if (!caption.empty()) {
        HWND window = FindWindowA(nullptr, caption.c_str());
        const char* state = !window ? "absent" : (IsWindowVisible(window) ? "visible" : "hidden");
        std::fprintf(report, "window %s\n", state);
        // The window's bar (control 1002): position and upper bound.
        HWND bar = window ? GetDlgItem(window, 1002) : nullptr;
        DWORD_PTR position = 0, upper = 0;
        if (bar && SendMessageTimeoutA(bar, 0x0408 /* PBM_GETPOS */, 0, 0, SMTO_ABORTIFHUNG, 5000, &position) &&
            SendMessageTimeoutA(bar, 0x0407 /* PBM_GETRANGE */, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &upper))
            std::fprintf(report, "bar %lu %lu\n", static_cast<unsigned long>(position),
                         static_cast<unsigned long>(upper));
    }
    std::fflush(report);
    Sleep(static_cast<DWORD>(std::strtoul(Env("KVSFX_PROBE_HOLD_MS").c_str(), nullptr, 10)));
    std::fprintf(report, "end\n");
    std::fclose(report);
    return 0;
}
