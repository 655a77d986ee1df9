// The few file-system questions the launcher itself asks, per platform.
#pragma once

#include <string>

// Separator between a folder and a name: '\' on Windows, '/' on Linux.
char PathSeparator();

// Full path of the running program's file (GetModuleFileNameA, UTF-8 at any
// length; /proc/self/exe, or argument 0 found as the shell finds it
// where there is no /proc). False when the system cannot tell.
bool GetModulePath(std::string& path);

// True when something exists under the path (its attributes can be read).
bool PathExists(const std::string& path);

// Removes an empty folder; false when it is not empty or cannot be removed.
bool RemoveFolder(const std::string& path);
