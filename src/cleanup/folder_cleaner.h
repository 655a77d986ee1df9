// Recursive deletion of a folder's contents: a source (folder, separator,
// file pattern) is checked, then the tree is walked folder by folder
// (file_record_list.h): a folder's files are deleted, their attributes reset
// first, in batches while its listing is read, then its subfolders are
// walked in name order, each removed once its walk is done. Memory grows
// with the depth of the tree, not with the number of its entries. The top folder of the source is never removed;
// that is the caller's business. Nothing is thrown: results are codes and
// messages.
//
// Links are never followed: a symbolic link (Linux), or a junction, symbolic
// link or other reparse point (Windows), found in the tree is listed and
// deleted as a file-like entry and never walked into, so nothing outside the
// source folder is touched. A subfolder is opened only as the folder that
// its parent's listing named (CleanupFs::CFolderSearch::First, CDeleter::
// ExpectFolder); one that was swapped meanwhile is neither walked nor
// emptied, and counts as a failure.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "cleanup/cleanup_fs.h"

class CWnd;
class CProgressCtrl;

constexpr int CleanSucceeded = 0;       // every file met was deleted
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

    // Validates, then walks and deletes; pump: serve the message queue
    // meanwhile. Returns CleanSucceeded, CleanSourceRejected or CleanFailed.
    int Clean(bool pump);

    // The source rules, each failure reported with its own message.
    bool Validate();

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
    // Each subfolder is removed as soon as its walk is done; with 0, all of
    // them at the end, and only when the work went on to the end.
    int removeEmptiedFolders = 1;
    CProgressCtrl* progressBar = nullptr;  // range 0..100
    CWnd* statusText = nullptr;
    int* cancelFlag = nullptr;
    int pathWidth = 50;
    // Paths that could not be deleted (files, and subfolders that could not
    // be walked), comma-separated; or the rejected source.
    std::string failedFiles;
    // Files and subfolders to handle: counted in a walk of its own before the
    // deletion when a progress bar is attached, 0 otherwise (1 for a source
    // that names one entry).
    int total = 0;
    int processed = 0;  // files handled so far
    int pumpMessages = 1;

private:
    // Count: files and subfolders into total. Delete: files deleted, each
    // subfolder removed after its walk with removeEmptiedFolders.
    // RemoveFolders: subfolders only, each removed after its walk.
    enum class WalkMode { Count, Delete, RemoveFolders };

    // Deletes what source covers, then shows the outcome; false when
    // anything failed or was cancelled.
    bool DeleteAll();
    // Walks the tree below folder (as source names it) until the work stops.
    void Walk(std::string path, const std::string& pattern, WalkMode mode);
    void HandleFile(CleanupFs::CDeleter& deleter, const std::string& path, uint32_t attributes);
    // Removes the subfolder path of parent (path's first parentLength
    // characters); a subfolder that could not be listed is a failure when
    // it stays.
    void RemoveSubfolder(const std::string& path, size_t parentLength, uint64_t parentIdentity, bool listed,
                         WalkMode mode);
    void SetStatus(const std::string& text);

    bool goOn = true;
    bool success = true;
};
