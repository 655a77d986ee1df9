// A quick look at an existing ZIP archive given with --zip, through the
// launcher's own archive reader: its entry names and which of them are
// encrypted. Enough to refuse what the launcher cannot read or extract and
// to warn about a mismatch with UsePW; the archive itself is appended as it
// is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CException;

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

// Throws CPackError when the file is not a ZIP archive the launcher can read,
// or holds an entry that it cannot extract (naming the first and why).
ZipSummary ScanZipFile(const std::string& path);

// Text of an exception the archive reader threw; the object is disposed of.
std::string DescribeReaderError(CException* error);

}  // namespace kvpack
