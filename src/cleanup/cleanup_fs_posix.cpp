// Folder cleaner file-system operations over folder descriptors: listings
// through fdopendir, deletion with unlinkat relative to the holding folder.
#include "cleanup/cleanup_fs.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "framework/scoped_fd.h"

namespace CleanupFs {

const char Separator = '/';
// The separator itself is legal here; the other characters that a Windows
// source may not hold stay refused so that both builds accept the same names.
const char* const InvalidSourceCharacters = "\"<>|";

bool IsRootedSource(const std::string& source) { return !source.empty() && source[0] == '/'; }

bool SamePath(const std::string& a, const std::string& b) { return a == b; }

// "*" matches any run of characters, "?" any one; "*.*" matches every name,
// as it does on Windows.
static bool Matches(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '?' || (*pattern != '*' && *pattern == *name)) {
            ++pattern;
            ++name;
        } else if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

static bool MatchesPattern(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*" || pattern == "*") return true;
    return Matches(pattern.c_str(), name.c_str());
}

static uint32_t AttributesOf(mode_t type, const std::string& name) {
    uint32_t attributes = 0;
    if (S_ISLNK(type)) attributes = AttrReparsePoint;
    else if (S_ISDIR(type)) attributes = AttrDirectory;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= AttrHidden;
    return attributes ? attributes : AttrNormal;
}

static mode_t TypeOf(unsigned char direntType) {
    switch (direntType) {
    case DT_DIR: return S_IFDIR;
    case DT_LNK: return S_IFLNK;
    case DT_REG: return S_IFREG;
    case DT_FIFO: return S_IFIFO;
    case DT_SOCK: return S_IFSOCK;
    case DT_CHR: return S_IFCHR;
    case DT_BLK: return S_IFBLK;
    default: return 0;
    }
}

static std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder part of a path, trailing separators trimmed ("/" for the root).
static std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    std::string folder = path.substr(0, slash);
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder.empty() ? "/" : folder;
}

// Opens a folder without following a link in its last component; with an
// identity, it must still be the folder that was listed under that name.
static int OpenFolder(const std::string& path, uint64_t identity) {
    int fd;
    do {
        fd = open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 || identity == 0) return fd;
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_ino) != identity) {
        ScopedFd stale(fd);
        errno = ELOOP;
        return -1;
    }
    return fd;
}

CFolderSearch::~CFolderSearch() { Close(); }

bool CFolderSearch::First(const std::string& searchFolder, const std::string& searchPattern, CFileRecord& entry,
                          uint64_t identity) {
    Close();
    ScopedFd fd(OpenFolder(searchFolder, identity));
    if (!fd) return false;
    DIR* dir = fdopendir(fd.Get());
    if (!dir) return false;
    fd.Release();  // the listing owns it now
    handle = dir;
    folder = searchFolder;
    pattern = searchPattern;
    return Next(entry);
}

bool CFolderSearch::Next(CFileRecord& entry) {
    if (!handle) return false;
    DIR* dir = static_cast<DIR*>(handle);
    while (struct dirent* found = readdir(dir)) {
        std::string name = found->d_name;
        if (!MatchesPattern(pattern, name)) continue;
        mode_t type = TypeOf(found->d_type);
        if (type == 0) {
            // The file system does not say: ask, without following a link.
            struct stat st;
            if (fstatat(dirfd(dir), found->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            type = st.st_mode;
        }
        entry.name = name;
        entry.attributes = AttributesOf(type, name);
        entry.identity = static_cast<uint64_t>(found->d_ino);
        return true;
    }
    return false;
}

void CFolderSearch::Close() {
    ScopedDir closing(static_cast<DIR*>(handle));
    handle = nullptr;
}

uint32_t GetAttributes(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return InvalidAttributes;
    return AttributesOf(st.st_mode, BaseName(path));
}

struct CDeleter::Held {
    std::map<std::string, uint64_t> expected;
    std::string openPath;
    ScopedFd open;

    int Folder(const std::string& path) {
        if (open && path == openPath) return open.Get();
        open.Reset();
        const auto it = expected.find(path);
        open.Reset(OpenFolder(path, it == expected.end() ? 0 : it->second));
        openPath = path;
        return open.Get();
    }
};

CDeleter::CDeleter() : held(new Held) {}
CDeleter::~CDeleter() = default;

void CDeleter::ExpectFolder(const std::string& path, uint64_t identity) {
    if (identity) held->expected[path] = identity;
}

FileDeletion CDeleter::DeleteListedFile(const std::string& path, bool) {
    FileDeletion result;
    const int at = held->Folder(FolderOf(path));
    if (at >= 0 && unlinkat(at, BaseName(path).c_str(), 0) == 0) {
        result.outcome = FileOutcome::Deleted;
    } else if (errno == ENOENT) {
        result.outcome = FileOutcome::Missing;
    }
    return result;
}

bool CDeleter::RemoveFolder(const std::string& path) {
    // A folder held open is let go first; it is gone afterwards.
    if (held->open && (held->openPath == path || held->openPath.compare(0, path.size() + 1, path + "/") == 0))
        held->open.Reset();
    const int at = held->Folder(FolderOf(path));
    return at >= 0 && unlinkat(at, BaseName(path).c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace CleanupFs
