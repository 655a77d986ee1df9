// The folder cleaner's validation and its walks over the tree; the file-system
// operations underneath are per platform (cleanup_fs.h).
#include "cleanup/folder_cleaner.h"

#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "framework/tick_clock.h"
#include "framework/window.h"

#include <algorithm>
#include <vector>

#include "cleanup/file_record_list.h"

using namespace CleanupFs;

namespace {

std::string TrimTrailingSeparators(std::string path) {
    while (!path.empty() && path.back() == Separator) path.pop_back();
    return path;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

}  // namespace

CFolderCleaner::~CFolderCleaner() = default;

void CFolderCleaner::Report(std::string) {}

int CFolderCleaner::Clean(bool pump) {
    pumpMessages = pump ? 1 : 0;
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

bool CFolderCleaner::DeleteAll() {
    goOn = true;
    success = true;
    const size_t split = source.find_last_of(Separator);
    const std::string folder = split == std::string::npos ? std::string() : source.substr(0, split);
    const std::string pattern = split == std::string::npos ? std::string() : source.substr(split + 1);
    if (folder.empty() || pattern.empty()) {
        // Nothing is covered.
    } else if (HasWildcard(source)) {
        if (progressBar) Walk(folder, pattern, WalkMode::Count);
        Walk(folder, pattern, WalkMode::Delete);
        if (goOn && !removeEmptiedFolders) Walk(folder, pattern, WalkMode::RemoveFolders);
    } else {
        // A source without wildcards names one file.
        const uint32_t attributes = GetAttributes(source);
        if (attributes != InvalidAttributes) {
            total = 1;
            CDeleter deleter;
            if (!IsRealFolder(attributes)) HandleFile(deleter, source, attributes);
            if (goOn && IsRealFolder(attributes)) deleter.RemoveFolder(source);
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

void CFolderCleaner::Walk(std::string path, const std::string& pattern, WalkMode mode) {
    // One level per folder being walked: what is left of it is the
    // subfolders of the batch read last and those above its cursor.
    struct Level {
        Level(size_t length, uint64_t identity) : length(length), identity(identity) {}
        size_t length;  // of its path
        uint64_t identity;
        std::string cursor;
        bool more = true;
        bool listed = true;
        std::vector<CFileRecord> subfolders;  // last first
    };
    // The files of a folder's first listing, counted or deleted.
    struct Files : CFileRecordList::Sink {
        Files(CFolderCleaner& cleaner, const std::string& path, const std::string& folder, uint64_t identity,
              bool counting)
            : cleaner(cleaner), path(path), counting(counting) {
            deleter.ExpectFolder(folder, identity);
        }
        bool Take(std::vector<CFileRecord>& files) override {
            if (counting) cleaner.total += static_cast<int>(files.size());
            for (size_t i = 0; i < files.size() && !counting && cleaner.goOn; ++i)
                cleaner.HandleFile(deleter, path + Separator + files[i].name, files[i].attributes);
            return cleaner.goOn;
        }
        CFolderCleaner& cleaner;
        const std::string& path;
        const bool counting;
        CDeleter deleter;
    };
    CFileRecordList records;
    records.pattern = pattern;
    records.subfolders = includeSubfolders != 0;
    records.pump = pumpMessages != 0;
    std::vector<Level> stack;
    stack.emplace_back(path.size(), 0);
    while (!stack.empty() && goOn) {
        Level& level = stack.back();
        if (!level.subfolders.empty()) {
            path += Separator;
            path += level.subfolders.back().name;
            const uint64_t identity = level.subfolders.back().identity;
            level.subfolders.pop_back();
            stack.emplace_back(path.size(), identity);
            continue;
        }
        if (level.more) {
            // The files in the first listing only: later ones would meet
            // those that stayed again.
            const std::string folder = TrimTrailingSeparators(path);
            Files files(*this, path, folder, level.identity, mode == WalkMode::Count);
            const bool withFiles = level.cursor.empty() && mode != WalkMode::RemoveFolders;
            level.listed = records.Scan(folder, level.identity, level.cursor, level.subfolders, level.more,
                                       withFiles ? &files : nullptr);
            if (!level.subfolders.empty()) level.cursor = level.subfolders.back().name;
            if (mode == WalkMode::Count) total += static_cast<int>(level.subfolders.size());
            std::reverse(level.subfolders.begin(), level.subfolders.end());
            continue;
        }
        // The folder is done; the top folder stays.
        const bool listed = level.listed;
        stack.pop_back();
        if (stack.empty()) break;
        RemoveSubfolder(path, stack.back().length, stack.back().identity, listed, mode);
        path.resize(stack.back().length);
    }
}

void CFolderCleaner::RemoveSubfolder(const std::string& path, size_t parentLength, uint64_t parentIdentity,
                                     bool listed, WalkMode mode) {
    if (mode == WalkMode::Count || (listed && mode == WalkMode::Delete && !removeEmptiedFolders)) return;
    CDeleter deleter;
    deleter.ExpectFolder(TrimTrailingSeparators(path.substr(0, parentLength)), parentIdentity);
    if (deleter.RemoveFolder(path) || listed || mode != WalkMode::Delete) return;
    // Not the folder that was listed any more, or not readable: what it
    // holds was not deleted.
    if (GetAttributes(path) == InvalidAttributes) return;
    success = false;
    if (!continueOnError) goOn = false;
    failedFiles += "," + path;
}

void CFolderCleaner::HandleFile(CDeleter& deleter, const std::string& path, uint32_t attributes) {
    if (!deleteHiddenSystem && (attributes & (AttrHidden | AttrSystem))) {
        if (total > 0) --total;  // kept on purpose: neither handled nor failed
        return;
    }
    Report(path);
    SetStatus(CompactPath(path, pathWidth));
    ++processed;
    if (progressBar && total > 0)
        progressBar->SetPos(static_cast<int>(static_cast<double>(processed) / total * 100.0));
    if (pumpMessages) PumpMessages();
    if (cancelFlag && *cancelFlag) {
        goOn = false;
        success = false;
        return;
    }

    const FileDeletion deletion = deleter.DeleteListedFile(path, continueOnError != 0);
    if (deletion.outcome == FileOutcome::Missing) {
        Report("Delete failed");
        goOn = false;
        success = false;
        return;
    }
    if (deletion.resetFailed) {
        success = false;
        if (!continueOnError) {
            Report("Delete failed");
            goOn = false;
            return;
        }
    }
    if (deletion.outcome == FileOutcome::Deleted) {
        Report("Delete successful");
    } else {
        Report("Delete failed");
        success = false;
        if (!continueOnError) goOn = false;
        failedFiles += "," + path;
    }
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
