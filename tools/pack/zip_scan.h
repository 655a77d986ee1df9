// A quick look at an existing ZIP archive given with --zip: its entry names
// and which of them are encrypted, read from the central directory. Enough
// to warn about a mismatch with UsePW; the archive itself is appended as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvpack {

struct ScannedEntry {
    std::string name;
    bool encrypted = false;
    bool isFolder = false;
};

struct ZipSummary {
    std::vector<ScannedEntry> entries;
    size_t encryptedFiles = 0;
    size_t plainFiles = 0;
};

// Throws CPackError when the file is not a ZIP archive the launcher can read.
ZipSummary ScanZipFile(const std::string& path);

}  // namespace kvpack
