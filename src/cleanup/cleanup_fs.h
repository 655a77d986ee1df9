// The few file-system operations of the folder cleaner, stated once and
// implemented per platform (cleanup_fs_win.cpp, cleanup_fs_posix.cpp). The
// listing, the passes and the messages above them are written only once.
//
// Linux mapping: the separator is '/'; attributes are derived from lstat:
// a directory has AttrDirectory, a file without the owner-write bit has
// AttrReadOnly, a name starting with '.' has AttrHidden and a symbolic link
// has AttrReparsePoint (and never AttrDirectory, whatever it points to). The
// pattern "*.*" matches every name, as on Windows.
#pragma once

#include <cstdint>
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

struct FoundEntry {
    std::string name;
    uint32_t attributes = 0;
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

    // folder: without trailing separator. False when nothing matches or the
    // folder cannot be read.
    bool First(const std::string& folder, const std::string& pattern, FoundEntry& entry);
    bool Next(FoundEntry& entry);
    void Close();

private:
    void* handle = nullptr;
    std::string folder;
    std::string pattern;
};

// Attributes of the entry itself (a link is never followed), or
// InvalidAttributes when it cannot be read.
uint32_t GetAttributes(const std::string& path);

// Resets the attributes to normal so that a read-only file can be deleted.
// The cleaner never calls this for a link.
bool ResetAttributes(const std::string& path);

// Deletes a file or a link (a link to a folder included) given the
// attributes just read for it; a link is removed as a link.
bool DeleteEntry(const std::string& path, uint32_t attributes);

// Removes an empty folder.
bool RemoveFolder(const std::string& path);

// True when something of that name exists.
bool PathExists(const std::string& path);

}  // namespace CleanupFs
