// Whether the run must refuse to start its program because an argument
// cannot reach it safely; checked before anything is extracted.
//
// Windows: a Run that names a batch file (batch_command_line.h) refuses every
// argument that cmd.exe would read as more than text. Linux: programs start
// without a command interpreter, so nothing is refused.
#pragma once

#include <string>
#include <vector>

// The message that tells the user why, or "" when the start may go ahead.
std::string BatchLaunchRefusal(const std::string& run, const std::vector<std::string>& arguments);
