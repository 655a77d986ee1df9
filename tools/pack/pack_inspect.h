// --info and --test: read a launcher file with the launcher's own block,
// markup and archive readers.
#pragma once

#include <cstdio>
#include <string>

namespace kvpack {

// Prints the configuration values and the entry list. Returns the exit code.
int ShowInfo(const std::string& path, std::FILE* out);

// Extracts every entry to nowhere, checking each CRC; stops at the first
// failure. Returns the exit code.
int TestLauncher(const std::string& path, std::FILE* out);

}  // namespace kvpack
