// A folder read in batches for the cleaner: each batch holds the smallest
// names above the last one handled, in name order, read from a listing of
// its own that is closed before anything in the folder is deleted. What stays
// behind (a file that could not be deleted or was kept on purpose, a folder
// that could not be emptied) lies at or below the next batch's cursor and is
// not met again, and nothing is changed in a folder while it is listed, so no
// entry is missed or met twice whatever the system's listing does with
// entries deleted during it. Memory: one batch, whatever the folder holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cleanup/cleanup_fs.h"

// A real folder, to be walked and removed; a link to a folder is not one.
inline bool IsRealFolder(uint32_t attributes) {
    return (attributes & CleanupFs::AttrDirectory) && !(attributes & CleanupFs::AttrReparsePoint);
}

struct CFolderBatch {
    static constexpr size_t MaxEntries = 1024;

    std::string pattern;     // of the files; subfolders are taken whatever their names
    bool subfolders = false;  // take the real subfolders
    bool files = false;       // take the files (links included) that match the pattern
    bool pump = false;        // serve the message queue while listing

    // Reads into entries, in name order, the next batch of folder (no
    // trailing separator; identity as its parent's listing reported it, 0:
    // not checked): the names above `above` (all with ""). more tells whether
    // names above the batch remain. When counted is given, the matching files
    // are counted there instead of taken. False when the folder cannot be
    // listed (then entries is empty).
    bool Read(const std::string& folder, uint64_t identity, const std::string& above,
              std::vector<CleanupFs::FoundEntry>& entries, bool& more, int* counted) const;
};
