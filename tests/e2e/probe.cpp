// The program that end-to-end tests put into launcher files: it appends what
// it was given (arguments, current folder and its mode, the files beside it)
// to the file named by KVSFX_PROBE_OUT, one item a line, and exits at once.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const char* out = std::getenv("KVSFX_PROBE_OUT");
    if (!out) return 3;
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
