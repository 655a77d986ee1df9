// --info, --test, --list and --extract: read a launcher file with the
// launcher's own block, markup and archive readers.
#pragma once

#include <cstdio>
#include <string>

namespace kvpack {

// Prints the configuration values and the entry list. Returns the exit code.
int ShowInfo(const std::string& path, std::FILE* out);

// Extracts every entry to nowhere, checking each CRC; stops at the first
// failure. Returns the exit code.
int TestLauncher(const std::string& path, std::FILE* out);

// Prints the entry list only. Returns the exit code.
int ListEntries(const std::string& path, std::FILE* out);

// Writes every entry into folder (created when missing; it must be empty) the
// way the launcher does: its password rule, its path safety. Starts nothing.
// The first entry that cannot be extracted ends the extraction, and what was
// written is removed again. Returns the exit code.
int ExtractLauncher(const std::string& path, const std::string& folder, std::FILE* out);

}  // namespace kvpack
