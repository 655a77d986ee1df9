// The run's work folder: "<base>\kv_ext_temp_<n>" ("<base>/kv_ext_temp_<n>"
// on Linux), base being the given parent or else the temporary folder with
// its trailing separators removed (Windows: GetTempPathA; Linux: $TMPDIR, else
// /tmp), made absolute against the current folder, n the smallest number from
// 0 whose name is free.
#pragma once

#include <memory>
#include <string>
#include <vector>

// Marks a work folder as alive while it is held, so that the sweep of other
// runs leaves it alone: Linux, the folder's own descriptor with a shared
// flock; Windows, a handle to the folder opened without delete sharing.
// Released when destroyed; on Windows it must be released before the folder
// itself can be removed.
class CWorkFolderMark {
public:
    CWorkFolderMark();
    ~CWorkFolderMark();
    CWorkFolderMark(const CWorkFolderMark&) = delete;
    CWorkFolderMark& operator=(const CWorkFolderMark&) = delete;

    bool IsHeld() const;
    void Release();

    // The platform's owner of the descriptor or handle.
    struct Held;
    std::unique_ptr<Held> held;
};

// Names the work folder and creates it in the same step: a creation that
// fails because the name exists (a folder, a plain file or a link) moves on
// to the next n, so no other process can slip anything in between naming and
// use. The folder is private to the user on Linux (mode 0700). Returns ""
// when no folder can be created (the temporary folder is unknown, the parent
// is missing or not writable, ...); the caller must then not extract, and
// `failure` (when given) tells why, in words for the user. Shows the wait
// cursor meanwhile.
//
// Before naming, stale work folders in the parent are swept
// (SweepStaleWorkFolders). The new folder is marked alive in `mark` (when
// given) before anything is written into it.
std::string CreateWorkFolder(const std::string& parent, std::string* failure = nullptr,
                             CWorkFolderMark* mark = nullptr);

// Deletes everything inside a work folder with the link-safe cleaner, hidden
// and system files included, going on past what cannot be deleted; serves
// the window's messages meanwhile when `pump`. The folder itself stays.
void EmptyWorkFolder(const std::string& folder, bool pump);

// Removes, with the link-safe cleaner, every folder "kv_ext_temp_<digits>" in
// `base` that belongs to the current user (Linux), is a real folder (no link)
// and that no live run holds. A folder that is still empty is never taken:
// it may have been made a moment ago by a run that has not marked it yet (a
// run marks its folder before it writes into it), which keeps the sweep
// race-free against runs starting at the same moment. Anything that cannot
// be taken is left alone silently.
void SweepStaleWorkFolders(const std::string& base);

namespace WorkFolderFs {

enum class CreateResult { Created, NameTaken, Failed };

// The platform's temporary folder as the system reports it ("" if unknown).
std::string TemporaryFolder();
// Creates one folder, failing when the name exists.
CreateResult CreateFolderExclusive(const std::string& path);
// Marks a folder this run has just made as alive; false when it cannot.
bool MarkAlive(const std::string& path, CWorkFolderMark& mark);
// Takes a stale work folder: true when the folder is one the sweep may remove
// (see SweepStaleWorkFolders); `taken` then holds it where the platform lets
// the cleaner work meanwhile (Linux: an exclusive flock).
bool TakeStale(const std::string& path, CWorkFolderMark& taken);
// Removes a taken folder that the cleaner has emptied, and lets it go.
void RemoveTaken(const std::string& path, CWorkFolderMark& taken);
// The names in a folder (no "." and ".."), in no particular order.
std::vector<std::string> ListNames(const std::string& folder);
extern const char Separator;

}  // namespace WorkFolderFs
