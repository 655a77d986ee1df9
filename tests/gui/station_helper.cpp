// Test helper for Windows tests under Wine: starts a program on a window
// station of its own, made without WSF_VISIBLE as those of services and of
// SYSTEM deployments in session 0 are, on a desktop made there. The program
// gets this helper's standard handles. Prints "station flags N" (the new
// station's UOI_FLAGS) on stdout.
//
// usage: station_helper TIMEOUT_MS PROGRAM [ARGS...]
// exit codes: the program's; 124 when it had not ended within the time (it
// is then ended); 2 usage or a station, desktop or process not made.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: station_helper TIMEOUT_MS PROGRAM [ARGS...]\n");
        return 2;
    }
    const HWINSTA own = GetProcessWindowStation();
    const HWINSTA station = CreateWindowStationA("kvsfx_unseen", 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station || !SetProcessWindowStation(station)) return 2;
    const HDESK desktop = CreateDesktopA("unseen", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    if (!desktop) return 2;
    USEROBJECTFLAGS flags = {};
    GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr);
    std::printf("station flags %lu\n", static_cast<unsigned long>(flags.dwFlags));
    std::fflush(stdout);

    std::string line;
    for (int i = 2; i < argc; ++i) line += std::string(i > 2 ? " \"" : "\"") + argv[i] + "\"";
    char where[] = "kvsfx_unseen\\unseen";
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.lpDesktop = where;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) return 2;
    if (WaitForSingleObject(process.hProcess, std::strtoul(argv[1], nullptr, 10)) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 124);
        return 124;
    }
    DWORD code = 2;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
