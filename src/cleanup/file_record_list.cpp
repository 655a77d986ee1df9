// A folder's files in batches and its subfolders in name order, over the
// platform's listings.
#include "cleanup/file_record_list.h"

#include <algorithm>

#include "cleanup/folder_cleaner.h"

using namespace CleanupFs;

namespace {

bool ByName(const CFileRecord& a, const CFileRecord& b) { return a.name < b.name; }

}  // namespace

bool CFileRecordList::Scan(const std::string& folder, uint64_t identity, const std::string& above,
                        std::vector<CFileRecord>& found, bool& more, Sink* files) const {
    found.clear();
    more = false;
    bool goOn = true;
    // The subfolders are a heap by name while they are read: once it is
    // full, a name below its largest one takes that one's place.
    auto subfolder = [&](CFileRecord& entry) {
        if (entry.name <= above) return;
        if (found.size() == MaxEntries) {
            more = true;
            if (!(entry.name < found.front().name)) return;
            std::pop_heap(found.begin(), found.end(), ByName);
            found.back() = std::move(entry);
        } else {
            found.push_back(std::move(entry));
        }
        std::push_heap(found.begin(), found.end(), ByName);
    };
    std::vector<CFileRecord> batch;
    auto handOver = [&] {
        std::make_heap(batch.begin(), batch.end(), ByName);
        std::sort_heap(batch.begin(), batch.end(), ByName);
        goOn = files->Take(batch);
        batch.clear();
    };
    auto file = [&](CFileRecord& entry) {
        batch.push_back(std::move(entry));
        if (batch.size() == MaxEntries) handOver();
    };

    const bool everyName = pattern == "*" || pattern == "*.*";
    CFolderSearch search;
    CFileRecord entry;
    bool listed = search.First(folder, "*", entry, identity);
    // Subfolders, whatever their names, and with every name also the files.
    for (bool next = listed; next && goOn; next = search.Next(entry)) {
        if (pump) CFolderCleaner::PumpMessages();
        if (entry.name == "." || entry.name == "..") continue;
        if (IsRealFolder(entry.attributes)) {
            if (subfolders) subfolder(entry);
        } else if (everyName && files) {
            file(entry);
        }
    }
    search.Close();
    // Otherwise the files that match the pattern; a link to a folder is one
    // of them and is never walked.
    if (listed && !everyName && files) {
        for (bool next = search.First(folder, pattern, entry, identity); next && goOn; next = search.Next(entry))
            if (!IsRealFolder(entry.attributes)) file(entry);
    }
    if (goOn && !batch.empty()) handOver();
    std::sort_heap(found.begin(), found.end(), ByName);
    return listed;
}
