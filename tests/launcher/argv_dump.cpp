// Test helper started by the launch tests: writes its current folder and its
// arguments (as the C runtime parsed them) to the file named by
// ARGV_DUMP_OUT, after sleeping ARGV_DUMP_SLEEP_MS milliseconds if that is set.
// On Windows it adds the raw command line and the show-window request.
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    const char* out = std::getenv("ARGV_DUMP_OUT");
    if (!out || !*out) return 2;
    if (const char* sleepMs = std::getenv("ARGV_DUMP_SLEEP_MS")) {
#ifdef _WIN32
        Sleep(static_cast<DWORD>(std::atoi(sleepMs)));
#else
        usleep(static_cast<useconds_t>(std::atoi(sleepMs)) * 1000);
#endif
    }
    std::string text;
    char folder[4096] = "";
#ifdef _WIN32
    GetCurrentDirectoryA(sizeof folder, folder);
    text += std::string("cmdline=") + GetCommandLineA() + "\n";
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    text += "flags=" + std::to_string(startup.dwFlags & STARTF_USESHOWWINDOW) + "\n";
    text += "show=" + std::to_string(startup.wShowWindow) + "\n";
#else
    if (!getcwd(folder, sizeof folder)) folder[0] = 0;
#endif
    text += std::string("cwd=") + folder + "\n";
    for (int i = 1; i < argc; ++i) text += "arg=" + std::to_string(std::string(argv[i]).size()) + ":" + argv[i] + "\n";

    // Written under another name first, so the file appears complete.
    const std::string partial = std::string(out) + ".part";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) return 3;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return std::rename(partial.c_str(), out) == 0 ? 0 : 4;
}
