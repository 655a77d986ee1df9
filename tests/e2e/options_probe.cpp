// The program that the launch-option tests put into launcher files.
//
//   options_probe                appends "started <current folder>" to
//                                $KVSFX_PROBE_OUT; with
//                                $KVSFX_PROBE_CHILD set, first starts a copy of
//                                itself that outlives it (see --child); then
//                                exits with the code in $KVSFX_PROBE_EXIT (0).
//   options_probe --child FOLDER PID
//                                waits until process PID has ended, then until
//                                the file $KVSFX_PROBE_RELEASE exists (when set)
//                                or half a second, then reads FOLDER/data/hello.txt
//                                and appends "child read N" or "child missing",
//                                then "child end". Its current folder is the
//                                report's folder, so it keeps nothing in FOLDER open.
//   options_probe --exit-code-of PROGRAM ARGS...
//                                (Windows) runs PROGRAM, prints its full 32-bit
//                                exit code, which Wine cuts to 8 bits for Linux.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

void Report(const std::string& line) {
    const char* out = std::getenv("KVSFX_PROBE_OUT");
    if (!out) return;
    std::ofstream(out, std::ios::app) << line << "\n";
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? "." : path.substr(0, cut);
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

#ifdef _WIN32
unsigned long CurrentId() { return GetCurrentProcessId(); }

void WaitForEnd(unsigned long id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (!process) return;  // already gone
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
}

bool Start(const std::string& commandLine, const std::string& folder, HANDLE* process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    if (process)
        *process = info.hProcess;
    else
        CloseHandle(info.hProcess);
    return true;
}

void StartChild(const std::string& folder, const std::string& reportFolder) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string line = "\"" + std::string(self) + "\" --child \"" + folder + "\" " + std::to_string(CurrentId());
    if (!Start(line, reportFolder, nullptr)) Report("child not started");
}

int ExitCodeOf(int argc, char** argv) {
    std::string line;
    for (int i = 2; i < argc; ++i) line += std::string(i > 2 ? " " : "") + "\"" + argv[i] + "\"";
    HANDLE process = nullptr;
    if (!Start(line, "", &process)) return 120;
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::printf("%lu\n", static_cast<unsigned long>(code));
    return 0;
}
#else
unsigned long CurrentId() { return static_cast<unsigned long>(getpid()); }

void WaitForEnd(unsigned long id) {
    while (kill(static_cast<pid_t>(id), 0) == 0) Pause(10);
}

void StartChild(const std::string& folder, const std::string& reportFolder) {
    // Standard streams go to /dev/null: the test must not wait for them.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addchdir_np(&actions, reportFolder.c_str());
    const std::string id = std::to_string(CurrentId());
    char self[] = "/proc/self/exe";
    char child[] = "--child";
    char* argv[] = {self, child, const_cast<char*>(folder.c_str()), const_cast<char*>(id.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self, &actions, nullptr, argv, environ) != 0) Report("child not started");
    posix_spawn_file_actions_destroy(&actions);
}

int ExitCodeOf(int, char**) { return 120; }
#endif

int Child(const std::string& folder, unsigned long parent) {
    WaitForEnd(parent);
    if (const char* release = std::getenv("KVSFX_PROBE_RELEASE")) {
        for (int i = 0; i < 6000 && !std::ifstream(release); ++i) Pause(10);
    } else {
        Pause(500);  // long enough for a launcher that does not wait to delete the folder
    }
    std::ifstream file(folder + "/data/hello.txt", std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    Report(file ? "child read " + std::to_string(bytes.str().size()) : "child missing");
    Report("child end");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--child" && argc == 4) return Child(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (mode == "--exit-code-of") return ExitCodeOf(argc, argv);

    char here[4096] = "";
#ifdef _WIN32
    GetCurrentDirectoryA(sizeof here, here);
#else
    if (!getcwd(here, sizeof here)) return 121;
#endif
    Report(std::string("started ") + here);
    if (std::getenv("KVSFX_PROBE_CHILD")) {
        StartChild(here, FolderOf(std::getenv("KVSFX_PROBE_OUT") ? std::getenv("KVSFX_PROBE_OUT") : "."));
    }
    const char* code = std::getenv("KVSFX_PROBE_EXIT");
    return code ? std::atoi(code) : 0;
}
