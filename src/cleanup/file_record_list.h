// The cleaner's record list: one folder's entries (CFileRecord) as Scan
// reads them. Its files go to a sink in batches, each handed over only after
// it was read whole, and the listing goes on after the batch: the system
// returns every entry not changed since the listing began exactly once, and
// the listings of the systems the cleaner runs on go on from where they
// stopped, so what was handed over is not met again (were a deleted file
// returned again, its deletion would find it missing and stop the work as
// for a file that vanished). Its subfolders are taken in name order, at most
// one batch of the smallest names above the last one handled: walking a
// subfolder closes the listing, and the next listing goes on from that name,
// so a subfolder that stays (one that could not be emptied) is not met
// again. Memory: two batches, whatever the folder holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cleanup/cleanup_fs.h"

// A real folder, to be walked and removed; a link to a folder is not one.
inline bool IsRealFolder(uint32_t attributes) {
    return (attributes & CleanupFs::AttrDirectory) && !(attributes & CleanupFs::AttrReparsePoint);
}

struct CFileRecordList {
    static constexpr size_t MaxEntries = 1024;

    // Receives the files; false stops the listing.
    class Sink {
    public:
        virtual bool Take(std::vector<CleanupFs::CFileRecord>& files) = 0;

    protected:
        ~Sink() = default;
    };

    std::string pattern;      // of the files; subfolders are taken whatever their names
    bool subfolders = false;  // take the real subfolders
    bool pump = false;        // serve the message queue while listing

    // Lists folder (no trailing separator; identity as its parent's listing
    // reported it, 0: not checked): its files that match the pattern (links
    // included) go to files, when given, in name order within each batch;
    // its subfolders with names above `above` ("": all) fill found, the
    // smallest first, and more tells whether others remain. False when the
    // folder cannot be listed.
    bool Scan(const std::string& folder, uint64_t identity, const std::string& above,
              std::vector<CleanupFs::CFileRecord>& found, bool& more, Sink* files) const;
};
