// The folder cleaner's validation, listing and deletion passes; the file-system
// operations underneath are per platform (cleanup_fs.h).
#include "cleanup/folder_cleaner.h"

#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "framework/window.h"

using namespace CleanupFs;

namespace {

std::string TrimTrailingSeparators(std::string path) {
    while (!path.empty() && path.back() == Separator) path.pop_back();
    return path;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

}  // namespace

// ---------------------------------------------------------------- record list

int CFileRecordList::Scan(const std::string& folder, const std::string& pattern, bool recurse, bool listFolders) {
    int count = 0;
    const std::string trimmed = TrimTrailingSeparators(folder);
    CFolderSearch search;
    FoundEntry entry;

    // Subfolders, whatever their names: each one's record, then its contents.
    if (folderStatus) folderStatus->SetWindowText(CFolderCleaner::CompactPath(trimmed + Separator + "*", 47));
    for (bool found = search.First(trimmed, "*", entry); found; found = search.Next(entry)) {
        if (!noPumping) CFolderCleaner::PumpMessages();
        if (entry.name == "." || entry.name == "..") continue;
        CFileRecord record{folder + entry.name, entry.attributes};
        if (!record.IsFolder()) continue;  // files and links come in the second step
        if (listFolders) {
            Add(record);
            ++count;
        }
        if (recurse) count += Scan(record.path + Separator, pattern, recurse, listFolders);
    }
    search.Close();

    // The folder's own entries that match the pattern; a link to a folder is
    // one of them and is never walked.
    for (bool found = search.First(trimmed, pattern, entry); found; found = search.Next(entry)) {
        CFileRecord record{folder + entry.name, entry.attributes};
        if (record.IsFolder()) continue;
        if (fileStatus) {
            fileStatus->SetWindowText(CFolderCleaner::CompactPath(record.path, 47));
            if (!noPumping) CFolderCleaner::PumpMessages();
        }
        Add(record);
        ++count;
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

        const uint32_t attributes = GetAttributes(record.path);
        if (attributes == InvalidAttributes) {
            Report("Delete failed");
            goOn = false;
            success = false;
            break;
        }
        // A link's attributes are left alone: on some systems changing them
        // would change the target's.
        if (!(attributes & AttrReparsePoint) && !ResetAttributes(record.path)) {
            success = false;
            if (!continueOnError) {
                Report("Delete failed");
                goOn = false;
                break;
            }
        }
        if (DeleteEntry(record.path, attributes)) {
            Report("Delete successful");
            if (removeEmptiedFolders) RemoveEmptiedFolder(record.path);
        } else {
            Report("Delete failed");
            success = false;
            if (!continueOnError) goOn = false;
            failedFiles += "," + record.path;
        }
    }

    if (goOn) {
        for (int index = 0; index < records.GetCount(); ++index)
            if (records[index].IsFolder()) RemoveFolderChain(records[index].path);
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

std::string CFolderCleaner::TopFolder() const {
    const size_t split = source.find_last_of(Separator);
    return TrimTrailingSeparators(split == std::string::npos ? std::string() : source.substr(0, split));
}

// Paths are compared with trailing separators trimmed and must be longer
// than the top folder, so that a source such as "C:\t\\*.*" cannot lead to
// the removal of the top folder itself.
void CFolderCleaner::RemoveEmptiedFolder(const std::string& filePath) {
    const std::string top = TopFolder();
    const size_t split = filePath.find_last_of(Separator);
    if (split == std::string::npos) return;
    const std::string folder = TrimTrailingSeparators(filePath.substr(0, split));
    if (folder.size() > top.size() && !SamePath(folder, top) && PathExists(folder)) RemoveFolder(folder);
}

void CFolderCleaner::RemoveFolderChain(const std::string& folderPath) {
    const std::string top = TopFolder();
    if (TrimTrailingSeparators(folderPath).size() > top.size()) RemoveFolder(folderPath);
    std::string path = folderPath;
    for (size_t split = path.find_last_of(Separator); split != std::string::npos;
         split = path.find_last_of(Separator)) {
        path.resize(split);
        const std::string folder = TrimTrailingSeparators(path);
        if (folder.size() > top.size() && !SamePath(folder, top)) RemoveFolder(folder);
    }
}

void CFolderCleaner::PumpMessages() {
    while (MessageWaiting()) {
        if (!PumpMessage()) {
            PostQuitRequest(0);  // keep the quit request for the loop that owns it
            return;
        }
    }
    for (long count = 0; RunIdle(count); ++count) {
    }
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
