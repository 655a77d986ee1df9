// Platform operations of the builder, stated once; pack_fs_posix.cpp and
// pack_fs_win.cpp implement them.
//
// Names and paths are UTF-8 on both platforms (on Windows through the
// program's manifest, which sets the active code page to UTF-8).
// Linux: paths with '/', archive entries from host system 3 (Unix) with the
// mode in the upper 16 bits of the external attributes.
// Windows: paths with '\', host system 0 (MS-DOS) with the DOS attribute
// bits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace kvpack {

// Host system code written into "version made by" on this platform.
extern const unsigned char PlatformHostSystem;
// Path separator of this platform.
extern const char PlatformSeparator;

// One open file. Every failure throws CPackError with the path and the
// system's reason.
class CPackFile {
public:
    CPackFile() = default;
    ~CPackFile();
    CPackFile(const CPackFile&) = delete;
    CPackFile& operator=(const CPackFile&) = delete;

    void OpenRead(const std::string& path);
    // Creates a new file; false (nothing thrown) when the name is taken.
    bool CreateNew(const std::string& path);
    bool IsOpen() const;
    void Close();

    // Reads up to count bytes; returns the number read, 0 at the end.
    size_t Read(void* buffer, size_t count);
    void Write(const void* data, size_t count);
    void Seek(uint64_t offset);
    uint64_t Tell();
    uint64_t Size();
    void Truncate(uint64_t length);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    intptr_t handle_ = -1;
};

struct FileInfo {
    bool exists = false;
    bool isFolder = false;
    bool isFile = false;        // regular file (after following links)
    uint64_t size = 0;
    std::time_t modified = 0;
    uint32_t externalAttributes = 0;  // ready for the central header
    std::string identity;       // same value for the same file or folder
};

// Information about a path, following links. exists is false when the path
// (or a link's target) is missing; other failures throw.
FileInfo StatPath(const std::string& path);

// Names in a folder, without "." and "..", in no particular order.
std::vector<std::string> ListFolder(const std::string& path);

// Joins a folder and a name with this platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Broken-down local time of t.
bool LocalTime(std::time_t t, std::tm& out);

// Replaces target with source (same folder), atomically where the system can.
void MoveIntoPlace(const std::string& source, const std::string& target);
void RemoveFileQuietly(const std::string& path);
// Removes an empty folder; nothing happens when it cannot be removed.
void RemoveEmptyFolderQuietly(const std::string& path);

// Gives target the read, write and execute bits of model (Linux; nothing on
// Windows).
void CopyPermissions(const std::string& model, CPackFile& target);

// The first `limit` bytes of a file (all of a shorter one); a file that
// cannot be opened throws CPackError.
inline std::string ReadFileBytes(const std::string& path, uint64_t limit = UINT64_MAX) {
    CPackFile file;
    file.OpenRead(path);
    std::string bytes(static_cast<size_t>(std::min<uint64_t>(file.Size(), limit)), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t n = file.Read(&bytes[done], bytes.size() - done);
        if (n == 0) break;
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

bool StderrIsTerminal();

// Fills buffer with bytes from the system's random source.
void FillRandom(unsigned char* buffer, size_t count);

// Creates a new file as CPackFile::CreateNew does, and has it removed if the
// process is interrupted (Ctrl-C, termination) before ForgetOnInterrupt is
// called. No interrupt can come between the two. One file at a time.
bool CreateRemovedOnInterrupt(CPackFile& file, const std::string& path);
void ForgetOnInterrupt();

}  // namespace kvpack
