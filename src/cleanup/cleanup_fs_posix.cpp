// Folder cleaner file-system operations over opendir, lstat, unlink, rmdir.
#include "cleanup/cleanup_fs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

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

static uint32_t AttributesOf(const struct stat& st, const std::string& name) {
    uint32_t attributes = 0;
    if (S_ISLNK(st.st_mode)) {
        attributes = AttrReparsePoint;
    } else if (S_ISDIR(st.st_mode)) {
        attributes = AttrDirectory;
    } else if (!(st.st_mode & S_IWUSR)) {
        attributes = AttrReadOnly;
    }
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= AttrHidden;
    return attributes ? attributes : AttrNormal;
}

static std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CFolderSearch::~CFolderSearch() { Close(); }

bool CFolderSearch::First(const std::string& searchFolder, const std::string& searchPattern, FoundEntry& entry) {
    Close();
    DIR* dir = opendir(searchFolder.empty() ? "/" : searchFolder.c_str());
    if (!dir) return false;
    handle = dir;
    folder = searchFolder;
    pattern = searchPattern;
    return Next(entry);
}

bool CFolderSearch::Next(FoundEntry& entry) {
    if (!handle) return false;
    while (struct dirent* found = readdir(static_cast<DIR*>(handle))) {
        std::string name = found->d_name;
        if (!MatchesPattern(pattern, name)) continue;
        struct stat st;
        if (lstat((folder + "/" + name).c_str(), &st) != 0) continue;  // gone meanwhile
        entry.name = name;
        entry.attributes = AttributesOf(st, name);
        return true;
    }
    return false;
}

void CFolderSearch::Close() {
    if (handle) closedir(static_cast<DIR*>(handle));
    handle = nullptr;
}

uint32_t GetAttributes(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return InvalidAttributes;
    return AttributesOf(st, BaseName(path));
}

bool ResetAttributes(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR)) return true;  // nothing to reset
    return chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool DeleteEntry(const std::string& path, uint32_t) { return unlink(path.c_str()) == 0; }

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace CleanupFs
