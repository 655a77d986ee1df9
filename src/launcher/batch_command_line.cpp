#include "launcher/batch_command_line.h"

#include <cctype>

bool IsBatchProgram(const std::string& program) {
    size_t end = program.find_last_not_of(". ");
    if (end == std::string::npos || end < 3) return false;
    std::string extension = program.substr(end - 3, 4);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".bat" || extension == ".cmd";
}

bool PassesToBatchSafely(const std::string& text) {
    return text.find_first_of(std::string("\"%\r\n\0", 5)) == std::string::npos;
}

std::string BatchArgumentText(const std::string& program, const std::vector<std::string>& arguments) {
    std::string text = "/d /e:ON /v:OFF /c \"\"" + program + "\"";
    for (const std::string& argument : arguments) text += " \"" + argument + "\"";
    return text + "\"";
}
