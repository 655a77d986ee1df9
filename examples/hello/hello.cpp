// The demo program that a launcher file starts: it shows what it was given.
#include <filesystem>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::cout << "hello from the extracted program\n";
    std::cout << "arguments (" << argc - 1 << "):\n";
    std::string source;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::cout << "  [" << i << "] " << argument << "\n";
        if (argument.rfind("SFXSOURCE:", 0) == 0) source = argument.substr(10);
    }
    std::cout << "current folder: " << fs::current_path().string() << "\n";
    std::cout << "launcher file:  " << (source.empty() ? "(no SFXSOURCE argument)" : source) << "\n";
    std::cout << "files beside me:\n";
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(fs::current_path(), error)) {
        std::cout << "  " << fs::relative(entry.path(), fs::current_path()).generic_string()
                  << (entry.is_directory() ? "/" : "") << "\n";
    }
    return 0;
}
