// The full path of the running program's own file.
#pragma once

#include <string>

// UTF-8 on Windows (the programs' manifests set that code page), of any
// length the system allows. Empty when the system does not tell it (Linux
// without /proc).
std::string ModuleFilePath();
