// Name-ordered batches of a folder's entries over the platform's listings.
#include "cleanup/folder_batch.h"

#include <algorithm>

#include "cleanup/folder_cleaner.h"

using namespace CleanupFs;

namespace {

bool ByName(const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; }

}  // namespace

bool CFolderBatch::Read(const std::string& folder, uint64_t identity, const std::string& above,
                        std::vector<FoundEntry>& entries, bool& more, int* counted) const {
    entries.clear();
    more = false;
    // The batch is a heap by name while it is read: once it is full, a name
    // below its largest one takes that one's place.
    auto offer = [&](FoundEntry& entry) {
        if (entry.name <= above) return;
        if (entries.size() == MaxEntries) {
            more = true;
            if (!(entry.name < entries.front().name)) return;
            std::pop_heap(entries.begin(), entries.end(), ByName);
            entries.back() = std::move(entry);
        } else {
            entries.push_back(std::move(entry));
        }
        std::push_heap(entries.begin(), entries.end(), ByName);
    };
    auto file = [&](FoundEntry& entry) {
        if (counted) ++*counted;
        else if (files) offer(entry);
    };

    const bool everyName = pattern == "*" || pattern == "*.*";
    CFolderSearch search;
    FoundEntry entry;
    bool found = search.First(folder, "*", entry, identity);
    if (!found) return false;
    // Subfolders, whatever their names, and with every name also the files.
    for (; found; found = search.Next(entry)) {
        if (pump) CFolderCleaner::PumpMessages();
        if (entry.name == "." || entry.name == "..") continue;
        if (IsRealFolder(entry.attributes)) {
            if (subfolders) offer(entry);
        } else if (everyName) {
            file(entry);
        }
    }
    search.Close();
    // Otherwise the files that match the pattern; a link to a folder is one
    // of them and is never walked.
    if (!everyName && (files || counted)) {
        for (found = search.First(folder, pattern, entry, identity); found; found = search.Next(entry))
            if (!IsRealFolder(entry.attributes)) file(entry);
    }
    std::sort_heap(entries.begin(), entries.end(), ByName);
    return true;
}
