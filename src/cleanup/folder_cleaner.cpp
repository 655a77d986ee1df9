// The folder cleaner's validation, listing and deletion passes; the file-system
// operations underneath are per platform (cleanup_fs.h).
#include "cleanup/folder_cleaner.h"

#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "framework/tick_clock.h"
#include "framework/window.h"

#include <map>
#include <set>
#include <vector>

using namespace CleanupFs;

namespace {

std::string TrimTrailingSeparators(std::string path) {
    while (!path.empty() && path.back() == Separator) path.pop_back();
    return path;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// The folder that holds a listed entry, trailing separators trimmed.
std::string FolderOf(const std::string& path) {
    const size_t split = path.find_last_of(Separator);
    return TrimTrailingSeparators(split == std::string::npos ? std::string() : path.substr(0, split));
}

}  // namespace

// ---------------------------------------------------------------- record list

int CFileRecordList::Scan(const std::string& folder, const std::string& pattern, bool recurse, bool listFolders) {
    // An explicit stack instead of a recursion, and no folder is held open
    // while its subfolders are walked: the depth of the tree has no bound.
    // Each folder is listed once when every name matches the pattern.
    struct Level {
        std::vector<CFileRecord> subfolders;
        size_t next = 0;
        std::vector<CFileRecord> files;
    };
    const bool everyName = pattern == "*" || pattern == "*.*";
    auto list = [&](const std::string& withSeparator, uint64_t identity) {
        Level level;
        const std::string trimmed = TrimTrailingSeparators(withSeparator);
        CFolderSearch search;
        FoundEntry entry;
        // Subfolders, whatever their names, and with every name also the files.
        if (folderStatus) folderStatus->SetWindowText(CFolderCleaner::CompactPath(trimmed + Separator + "*", 47));
        for (bool found = search.First(trimmed, "*", entry, identity); found; found = search.Next(entry)) {
            if (!noPumping) CFolderCleaner::PumpMessages();
            if (entry.name == "." || entry.name == "..") continue;
            CFileRecord record{withSeparator + entry.name, entry.attributes, entry.identity};
            if (record.IsFolder()) level.subfolders.push_back(record);
            else if (everyName) level.files.push_back(record);
        }
        search.Close();
        // Otherwise the files that match the pattern; a link to a folder is
        // one of them and is never walked.
        if (!everyName) {
            for (bool found = search.First(trimmed, pattern, entry, identity); found; found = search.Next(entry)) {
                CFileRecord record{withSeparator + entry.name, entry.attributes, entry.identity};
                if (!record.IsFolder()) level.files.push_back(record);
            }
        }
        return level;
    };

    int count = 0;
    std::vector<Level> stack;
    stack.push_back(list(folder, 0));
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next < level.subfolders.size()) {
            // Each subfolder's record, then everything inside it.
            const CFileRecord subfolder = level.subfolders[level.next++];
            if (listFolders) {
                Add(subfolder);
                ++count;
            }
            if (recurse) stack.push_back(list(subfolder.path + Separator, subfolder.identity));
            continue;
        }
        // Then the folder's own files.
        for (const CFileRecord& file : level.files) {
            if (fileStatus) {
                fileStatus->SetWindowText(CFolderCleaner::CompactPath(file.path, 47));
                if (!noPumping) CFolderCleaner::PumpMessages();
            }
            Add(file);
            ++count;
        }
        stack.pop_back();
    }
    return count;
}

// ---------------------------------------------------------------- cleaner

CFolderCleaner::~CFolderCleaner() = default;

void CFolderCleaner::Report(std::string) {}

int CFolderCleaner::Clean(bool pump) {
    pumpMessages = pump ? 1 : 0;
    records.noPumping = pump ? 0 : 1;
    Report("Start deleting files");
    if (progressBar) {
        progressBar->SetRange32(0, 100);
        progressBar->SetPos(0);
    }
    int result;
    if (!Validate()) {
        Report("Invalid source");
        failedFiles = source;
        result = CleanSourceRejected;
    } else {
        BuildList();
        result = CleanSucceeded;
        if (!DeleteAll()) {
            Report("Failed to delete one or more files");
            result = CleanFailed;
        }
    }
    Report("End deleting files");
    return result;
}

bool CFolderCleaner::Validate() {
    const char* message = nullptr;
    if (source.empty())
        message = "Source was empty";
    else if (source.size() < 4)
        message = "Source was less than 4 characters";
    else if (source.back() == Separator)
        message = "Source ends with a slash";
    else if (!IsRootedSource(source))
        message = "Source did not have drive specifier";
    else if (source.find_first_of(InvalidSourceCharacters) != std::string::npos)
        message = "Source contains invalid character";
    if (!message) return true;
    Report(message);
    return false;
}

void CFolderCleaner::BuildList() {
    records.Clear();
    const size_t split = source.find_last_of(Separator);
    if (split == std::string::npos) return;
    std::string folder = source.substr(0, split);
    const std::string pattern = source.substr(split + 1);
    if (folder.empty() || pattern.empty()) return;
    folder += Separator;
    if (HasWildcard(source)) {
        records.Scan(folder, pattern, includeSubfolders != 0, includeSubfolders != 0);
        return;
    }
    // A source without wildcards names one file.
    const uint32_t attributes = GetAttributes(source);
    if (attributes != InvalidAttributes) records.Add(CFileRecord{source, attributes});
}

bool CFolderCleaner::DeleteAll() {
    total = records.GetCount();
    bool goOn = true;
    bool success = true;

    CDeleter deleter;
    // Listed entries still present in each listed folder: a folder is
    // removed once its last one is gone, so no removal is tried while it is
    // known to hold something. The top folder is not listed, never removed.
    std::map<std::string, int> left;
    for (int index = 0; index < records.GetCount(); ++index) {
        if (!records[index].IsFolder()) continue;
        left.emplace(records[index].path, 0);
        deleter.ExpectFolder(records[index].path, records[index].identity);
    }
    for (int index = 0; index < records.GetCount(); ++index) {
        const auto it = left.find(FolderOf(records[index].path));
        if (it != left.end()) ++it->second;
    }
    std::set<std::string> removed;
    auto removeEmptied = [&](std::string folder) {
        for (;;) {
            const auto it = left.find(folder);
            if (it == left.end() || --it->second > 0) return;
            if (!deleter.RemoveFolder(folder)) return;
            removed.insert(folder);
            folder = FolderOf(folder);
        }
    };

    for (int index = 0; index < records.GetCount() && goOn; ++index) {
        const CFileRecord& record = records[index];
        if (record.IsFolder()) continue;
        if (!deleteHiddenSystem && (record.attributes & (AttrHidden | AttrSystem))) {
            --total;  // kept on purpose: neither handled nor failed
            continue;
        }
        Report(record.path);
        SetStatus(CompactPath(record.path, pathWidth));
        ++processed;
        if (progressBar && total > 0)
            progressBar->SetPos(static_cast<int>(static_cast<double>(processed) / total * 100.0));
        if (pumpMessages) PumpMessages();
        if (cancelFlag && *cancelFlag) {
            goOn = false;
            success = false;
            break;
        }

        const FileDeletion deletion = deleter.DeleteListedFile(record.path, continueOnError != 0);
        if (deletion.outcome == FileOutcome::Missing) {
            Report("Delete failed");
            goOn = false;
            success = false;
            break;
        }
        if (deletion.resetFailed) {
            success = false;
            if (!continueOnError) {
                Report("Delete failed");
                goOn = false;
                break;
            }
        }
        if (deletion.outcome == FileOutcome::Deleted) {
            Report("Delete successful");
            if (removeEmptiedFolders) removeEmptied(FolderOf(record.path));
        } else {
            Report("Delete failed");
            success = false;
            if (!continueOnError) goOn = false;
            failedFiles += "," + record.path;
        }
    }

    // The folders not removed yet, deepest first (a folder's record comes
    // before those inside it).
    if (goOn) {
        for (int index = records.GetCount() - 1; index >= 0; --index) {
            const CFileRecord& record = records[index];
            if (record.IsFolder() && !removed.count(record.path) && deleter.RemoveFolder(record.path))
                removed.insert(record.path);
        }
    }

    const size_t firstKept = failedFiles.find_first_not_of(',');
    failedFiles.erase(0, firstKept == std::string::npos ? failedFiles.size() : firstKept);

    if (success) {
        if (progressBar) progressBar->SetPos(100);
        SetStatus("Done");
    } else {
        SetStatus("Error");
    }
    return success;
}

void CFolderCleaner::PumpMessages() {
    // A look at the queue can cost a round trip to the window system (under
    // Wine it does), while a listing or a deletion goes through thousands of
    // files a second: the queue is served at most once per interval.
    static TickClock::time_point nextService{};
    const auto now = TickClock::now();
    if (now < nextService) return;
    nextService = now + ServiceInterval;
    PumpWaitingMessages();
}

std::string CFolderCleaner::CompactPath(const std::string& path, int width) {
    if (static_cast<long>(path.size()) <= width) return path;
    const char sep = Separator;
    std::string prefix;
    std::string rest;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\' && sep == '\\') {
        // \\server\rest
        const size_t next = path.find(sep, 2);
        if (next == std::string::npos) return path;
        prefix = path.substr(0, next);
        rest = path.substr(next + 1);
    } else if (sep == '\\') {
        // C:\rest
        prefix = path.substr(0, 2);
        rest = path.size() > 3 ? path.substr(3) : std::string();
    } else {
        // /rest
        if (path[0] != sep) return path;
        rest = path.substr(1);
    }
    const size_t lastSplit = rest.find_last_of(sep);
    if (lastSplit == std::string::npos) return path;
    const std::string last = rest.substr(lastSplit + 1);
    std::string middle = rest.substr(0, lastSplit);
    const std::string dots = std::string(1, sep) + "..." + sep;
    if (static_cast<long>(prefix.size() + 5 + last.size()) >= width) return prefix + dots + last;
    for (;;) {
        const size_t cut = middle.find_last_of(sep);
        if (cut == std::string::npos) return prefix + dots + last;
        middle.resize(cut);
        std::string candidate = prefix + sep + middle + dots + last;
        if (static_cast<long>(candidate.size()) <= width) return candidate;
    }
}

void CFolderCleaner::SetStatus(const std::string& text) {
    if (statusText) statusText->SetWindowText(text);
}
