// The program that end-to-end tests put into launcher files: it appends what
// it was given (arguments, current folder and its mode, the files beside it)
// to the file named by KVSFX_PROBE_OUT, one item a line, and exits. With
// KVSFX_PROBE_HOLD_UNTIL it reports "waiting" and stays until that file
// exists; with KVSFX_PROBE_AWAIT_SIGNAL it reports "waiting", stays until
// SIGTERM, SIGHUP or SIGINT comes and reports "signal N".
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {
volatile std::sig_atomic_t received = 0;
void OnSignal(int number) { received = number; }
}  // namespace

int main(int argc, char** argv) {
    const char* out = std::getenv("KVSFX_PROBE_OUT");
    if (!out) return 3;
    if (std::getenv("KVSFX_PROBE_AWAIT_SIGNAL")) {
        for (int number : {SIGTERM, SIGINT
#ifdef SIGHUP
                           , SIGHUP
#endif
             })
            std::signal(number, OnSignal);
        std::ofstream(out, std::ios::app) << "waiting\n";
        while (!received) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ofstream(out, std::ios::app) << "signal " << received << "\n";
    }
    if (const char* until = std::getenv("KVSFX_PROBE_HOLD_UNTIL")) {
        std::ofstream(out, std::ios::app) << "waiting\n";
        while (!fs::exists(until)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ofstream report(out, std::ios::app);
    for (int i = 1; i < argc; ++i) report << "arg " << argv[i] << "\n";
    report << "cwd " << fs::current_path().string() << "\n";
    std::error_code modeError;
    const auto permissions = fs::status(fs::current_path(), modeError).permissions();
    report << "cwdmode " << std::oct << static_cast<unsigned>(permissions) << std::dec << "\n";
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(fs::current_path(), error)) {
        report << "file " << fs::relative(entry.path(), fs::current_path()).generic_string()
               << (entry.is_directory() ? "/" : "") << "\n";
    }
    report << "end\n";
    return 0;
}
