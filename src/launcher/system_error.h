// The system's own text for an error number, for messages to the user.
#pragma once

#include <string>

// The error number of the last failed system call (GetLastError; errno).
unsigned long LastSystemError();

// The system's text for an error number: FormatMessageA from the system table
// without its trailing line break ("Access is denied."), strerror on Linux
// ("Permission denied"). Inserts such as "%1" are left in the text.
std::string SystemErrorMessage(unsigned long error);
