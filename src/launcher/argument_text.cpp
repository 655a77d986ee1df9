#include "launcher/argument_text.h"

std::string QuoteArgument(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');  // the run doubled, then \"
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');  // so that the closing quote stays one
    quoted += '"';
    return quoted;
}

std::string BuildArgumentText(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        text += QuoteArgument(argument);
        text += ' ';
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string BuildCommandLine(const std::string& program, const std::string& argumentText) {
    if (argumentText.empty()) {
        if (program.find_first_of(" \t") == std::string::npos) return program;
        return "\"" + program + "\"";
    }
    return "\"" + program + "\" " + argumentText;
}
