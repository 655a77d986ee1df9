// The few file-system operations of the folder cleaner, stated once and
// implemented per platform (cleanup_fs_win.cpp, cleanup_fs_posix.cpp). The
// listing, the passes and the messages above them are written only once.
//
// Linux mapping: the separator is '/'; attributes come from the listing's
// entry type (lstat only where the file system does not give it): a
// directory has AttrDirectory, a name starting with '.' has AttrHidden and a
// symbolic link has AttrReparsePoint (and never AttrDirectory, whatever it
// points to). Read-only is not reported: deleting a file needs no permission
// on the file itself there, so nothing is ever reset. The pattern "*.*"
// matches every name, as on Windows. Listed folders are opened with
// O_NOFOLLOW | O_DIRECTORY and must still be the folder that their parent's
// listing named (same inode), and entries are deleted relative to the open
// folder that holds them, so a link swapped in after the listing is never
// followed.
//
// Windows: the same over folder handles (framework/folder_relative_win.h),
// for paths of any length (beyond MAX_PATH the folders are opened one
// component at a time). A listing is read from the open folder (names of any
// length the system allows), with the file ID as identity; a listed folder is
// opened as itself and must be a plain folder (not a junction or link) with
// the listed ID; an entry is opened as itself relative to the open folder
// that holds it, its attributes are reset through that handle and it is
// deleted through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace CleanupFs {

constexpr uint32_t AttrReadOnly = 0x01;
constexpr uint32_t AttrHidden = 0x02;
constexpr uint32_t AttrSystem = 0x04;
constexpr uint32_t AttrDirectory = 0x10;
constexpr uint32_t AttrArchive = 0x20;
constexpr uint32_t AttrNormal = 0x80;
constexpr uint32_t AttrReparsePoint = 0x400;
constexpr uint32_t InvalidAttributes = 0xFFFFFFFFu;

// '\\' on Windows, '/' on Linux.
extern const char Separator;

// Source validation: the rooted-path rule (Windows: a drive letter and a
// colon, or two leading backslashes; Linux: an absolute path) and the
// characters a source may not contain.
bool IsRootedSource(const std::string& source);
extern const char* const InvalidSourceCharacters;

// Path comparison of the platform: case-insensitive on Windows.
bool SamePath(const std::string& a, const std::string& b);

// One entry found on disk.
struct CFileRecord {
    std::string name;
    uint32_t attributes = 0;
    // What the file system identifies the entry by (Linux: the inode
    // number, Windows: the file ID); 0 when unknown.
    uint64_t identity = 0;
};

// One search over a folder for the names that match a pattern ("*" and "?"
// wildcards). Entries are reported as the file system enumerates them, "."
// and ".." included where the system reports them.
class CFolderSearch {
public:
    CFolderSearch() = default;
    ~CFolderSearch();
    CFolderSearch(const CFolderSearch&) = delete;
    CFolderSearch& operator=(const CFolderSearch&) = delete;

    // folder: without trailing separator; identity: what its parent's listing
    // reported for it (0: not checked). False when nothing matches, the
    // folder cannot be read or is no longer the folder that was listed.
    bool First(const std::string& folder, const std::string& pattern, CFileRecord& entry,
               uint64_t identity = 0);
    bool Next(CFileRecord& entry);
    void Close();

private:
    void* handle = nullptr;
    std::string folder;
    std::string pattern;
};

// Attributes of the entry itself (a link is never followed), or
// InvalidAttributes when it cannot be read.
uint32_t GetAttributes(const std::string& path);

// What became of a listed file.
enum class FileOutcome { Missing, Deleted, NotDeleted };
struct FileDeletion {
    FileOutcome outcome = FileOutcome::NotDeleted;
    bool resetFailed = false;  // its attributes could not be reset first
};

// Deletes listed entries relative to the folder that holds them, keeping at
// most one folder open (the one used last).
class CDeleter {
public:
    CDeleter();
    ~CDeleter();
    CDeleter(const CDeleter&) = delete;
    CDeleter& operator=(const CDeleter&) = delete;

    // A listed folder and its identity, checked whenever it is opened.
    void ExpectFolder(const std::string& path, uint64_t identity);
    // Deletes a listed file or link. Windows: the entry is opened as itself
    // relative to the open folder (already gone: Missing), its attributes
    // are reset to normal unless it is a link (on failure the file is
    // deleted anyway only when deleteIfNotReset), then it is deleted through
    // that handle. Linux: one unlink relative to the open folder; a file
    // already gone is Missing.
    FileDeletion DeleteListedFile(const std::string& path, bool deleteIfNotReset);
    // Removes a listed, empty folder relative to its parent.
    bool RemoveFolder(const std::string& path);

private:
    struct Held;
    std::unique_ptr<Held> held;
};

}  // namespace CleanupFs
