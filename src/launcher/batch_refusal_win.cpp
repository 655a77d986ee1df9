#include "launcher/batch_refusal.h"

#include "launcher/batch_command_line.h"

std::string BatchLaunchRefusal(const std::string& run, const std::vector<std::string>& arguments) {
    if (!IsBatchProgram(run)) return "";
    if (!PassesToBatchSafely(run))
        return "Could not start \"" + run + "\": the name of a batch file may not hold double quotes, "
               "percent signs or line breaks.";
    for (size_t index = 0; index < arguments.size(); ++index) {
        if (PassesToBatchSafely(arguments[index])) continue;
        return "Could not start the batch file \"" + run + "\": argument " + std::to_string(index + 1) + " (" +
               arguments[index] +
               ") cannot be passed to it safely; double quotes, percent signs and line breaks are refused.";
    }
    return "";
}
