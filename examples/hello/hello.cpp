// The demo program that a launcher file starts: it shows what it was given.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    // Started from the Windows launcher (a GUI program) there is no console
    // to print to; HELLO_OUT then names a file for the report.
    std::ofstream file;
    if (const char* out = std::getenv("HELLO_OUT")) file.open(out);
    std::ostream& report = file.is_open() ? file : std::cout;
    report << "hello from the extracted program\n";
    report << "arguments (" << argc - 1 << "):\n";
    std::string source;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        report << "  [" << i << "] " << argument << "\n";
        if (argument.rfind("SFXSOURCE:", 0) == 0) source = argument.substr(10);
    }
    report << "current folder: " << fs::current_path().string() << "\n";
    report << "launcher file:  " << (source.empty() ? "(no SFXSOURCE argument)" : source) << "\n";
    report << "files beside me:\n";
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(fs::current_path(), error)) {
        report << "  " << fs::relative(entry.path(), fs::current_path()).generic_string()
               << (entry.is_directory() ? "/" : "") << "\n";
    }
    return 0;
}
