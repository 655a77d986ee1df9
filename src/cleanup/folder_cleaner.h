// Recursive deletion of a folder's contents: a source (folder, separator,
// file pattern) is checked, everything it covers is listed, the files are
// deleted with their attributes reset first, and the emptied subfolders are
// removed. The top folder of the source is never removed; that is the
// caller's business. Nothing is thrown: results are codes and messages.
//
// Links are never followed: a symbolic link (Linux), or a junction, symbolic
// link or other reparse point (Windows), found in the tree is listed and
// deleted as a file-like entry and never walked into, so nothing outside the
// source folder is touched.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/cleanup_fs.h"

class CWnd;
class CProgressCtrl;

// One entry found on disk: full path (folder with separator + name; a folder
// record has no trailing separator) and its attribute bits.
struct CFileRecord {
    std::string path;
    uint32_t attributes = 0;
    uint64_t identity = 0;  // as the listing reported it (CleanupFs::FoundEntry)

    // A real folder, to be removed in the folder pass and walked by the scan.
    // A link to a folder is not one.
    bool IsFolder() const {
        return (attributes & CleanupFs::AttrDirectory) && !(attributes & CleanupFs::AttrReparsePoint);
    }
};

class CFileRecordList {
public:
    // Walks folder (with trailing separator): first every subfolder, each one's
    // record (when listFolders) followed by what lies inside it (when recurse);
    // then the folder's own non-folder entries that match pattern. Returns the
    // number of records appended, those of nested folders included.
    int Scan(const std::string& folder, const std::string& pattern, bool recurse, bool listFolders);

    void Clear() { records.clear(); }
    void Add(const CFileRecord& record) { records.push_back(record); }
    int GetCount() const { return static_cast<int>(records.size()); }
    const CFileRecord& operator[](int index) const { return records[static_cast<size_t>(index)]; }

    CWnd* folderStatus = nullptr;  // shows the folder being searched
    CWnd* fileStatus = nullptr;    // shows the file being listed
    int noPumping = 0;

private:
    std::vector<CFileRecord> records;
};

constexpr int CleanSucceeded = 0;       // every listed file was deleted
constexpr int CleanSourceRejected = 1;  // nothing was touched
constexpr int CleanFailed = 2;          // a step failed, or cancelled

class CFolderCleaner {
public:
    CFolderCleaner() = default;
    virtual ~CFolderCleaner();
    CFolderCleaner(const CFolderCleaner&) = delete;
    CFolderCleaner& operator=(const CFolderCleaner&) = delete;

    // Receives every status message; does nothing here.
    virtual void Report(std::string message);

    // Validates, lists and deletes; pump: serve the message queue meanwhile.
    // Returns CleanSucceeded, CleanSourceRejected or CleanFailed.
    int Clean(bool pump);

    // The source rules, each failure reported with its own message.
    bool Validate();
    // Fills the record list from source.
    void BuildList();
    // File pass then folder pass; false when anything failed or was
    // cancelled. A listed folder is removed as soon as the last listed entry
    // in it was deleted (with removeEmptiedFolders), the remaining ones in the
    // folder pass, deepest first; the top folder never.
    bool DeleteAll();

    // Serves waiting messages one at a time (a quit request is posted again
    // and ends the serving), then runs the idle work; at most once per
    // ServiceInterval, the calls in between return at once.
    static void PumpMessages();
    static constexpr std::chrono::milliseconds ServiceInterval{25};
    // Shortens a path for display to at most width characters where it can,
    // putting "..." in place of inner folders.
    static std::string CompactPath(const std::string& path, int width);

    std::string source;
    int includeSubfolders = 0;
    int continueOnError = 0;
    // With 0, hidden and system files are left in place (not counted as
    // failures) and the work goes on with the next file.
    int deleteHiddenSystem = 1;
    int removeEmptiedFolders = 1;
    CProgressCtrl* progressBar = nullptr;  // range 0..100
    CWnd* statusText = nullptr;
    int* cancelFlag = nullptr;
    int pathWidth = 50;
    // Paths that could not be deleted, comma-separated; or the rejected source.
    std::string failedFiles;
    CFileRecordList records;
    int total = 0;
    int processed = 0;
    int pumpMessages = 1;

private:
    void SetStatus(const std::string& text);
};
