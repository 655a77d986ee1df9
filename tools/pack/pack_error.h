// Error type of the builder: a message for the user and the exit code that
// goes with it (1 for bad input or a failed file operation, 2 for bad usage).
#pragma once

#include <stdexcept>
#include <string>

namespace kvpack {

enum ExitCode { ExitDone = 0, ExitBadInput = 1, ExitUsage = 2 };

class CPackError : public std::runtime_error {
public:
    explicit CPackError(const std::string& message, int exitCode = ExitBadInput)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int ExitCode() const { return exitCode_; }

private:
    int exitCode_;
};

}  // namespace kvpack
