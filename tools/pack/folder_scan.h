// Lists every file and folder below a folder, parents before their contents,
// names sorted byte-wise within each folder. Links that stay inside the folder
// are followed; a link that leads outside it is refused unless followLinks is
// set, and a link that leads back into a folder being walked is refused
// rather than looped on.
#pragma once

#include <string>
#include <vector>

#include "pack_fs.h"

namespace kvpack {

struct ScannedItem {
    std::string relativeName;  // '/' separators, no trailing '/'
    std::string path;          // path on disk
    FileInfo info;
};

struct ScanResult {
    std::vector<ScannedItem> items;
    std::vector<std::string> skipped;  // neither file nor folder (devices, pipes, ...)
    uint64_t totalBytes = 0;
};

// skipIdentities: files left out (the output being written, for example).
ScanResult ScanFolder(const std::string& root, const std::vector<std::string>& skipIdentities,
                      bool followLinks = false);

}  // namespace kvpack
