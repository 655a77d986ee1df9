// Extraction targets on Linux: folder-relative creation that never follows
// a link (see zip_output_tree.h).
#include "zip/zip_output_tree.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "framework/file_exception.h"
#include "framework/scoped_fd.h"
#include "zip/zip_file.h"
#include "zip/zip_mode_posix.h"

namespace {

constexpr int kFolderOpen = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int OpenFolderAt(int at, const char* name) {
    int fd;
    do {
        fd = openat(at, name, kFolderOpen);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The permission bits that the process's umask takes from new files; read
// once (the umask is only ever read here, never changed for good).
mode_t UmaskBits() {
    static const mode_t bits = [] {
        const mode_t old = umask(022);
        umask(old);
        return old;
    }();
    return bits;
}

// The next component of `relative` from `pos` on; empty ones and "." skipped.
bool NextComponent(const std::string& relative, size_t& pos, std::string& component) {
    while (pos < relative.size()) {
        size_t end = relative.find('/', pos);
        if (end == std::string::npos) end = relative.size();
        component.assign(relative, pos, end - pos);
        pos = end + 1;
        if (!component.empty() && component != ".") return true;
    }
    return false;
}

}  // namespace

struct CZipOutputTree::Held {
    std::string rootPath;
    ScopedFd root;
    std::string currentPath;  // relative path of `current`
    ScopedFd current;
    std::set<std::string> made;  // relative folders this object created or found

    bool OpenRoot(const std::string& path) {
        if (root && path == rootPath) return true;
        current.Reset();
        made.clear();
        root.Reset(OpenFolderAt(AT_FDCWD, path.empty() ? "." : path.c_str()));
        rootPath = path;
        return root.IsValid();
    }

    // The descriptor of `relative`, made where missing; -1 on failure (errno).
    int Folder(const std::string& relative) {
        if (relative.empty()) return root.Get();
        if (current && relative == currentPath) return current.Get();
        // Start below the folder held open when the path goes on from it.
        int start = root.Get();
        size_t pos = 0;
        if (current && relative.size() > currentPath.size() &&
            relative.compare(0, currentPath.size(), currentPath) == 0 &&
            relative[currentPath.size()] == '/') {
            start = current.Get();
            pos = currentPath.size() + 1;
        }
        ScopedFd walked;
        std::string component;
        while (NextComponent(relative, pos, component)) {
            const int at = walked ? walked.Get() : start;
            const std::string sofar = relative.substr(0, pos - 1);
            if (!made.count(sofar)) {
                // One call when the folder is new; it may also be there already.
                if (mkdirat(at, component.c_str(), 0755) != 0 && errno != EEXIST) return -1;
            }
            const int fd = OpenFolderAt(at, component.c_str());
            if (fd < 0) return -1;  // a file or a link in the way: ENOTDIR / ELOOP
            made.insert(sofar);
            walked.Reset(fd);
        }
        if (!walked) return start;
        current = std::move(walked);
        currentPath = relative;
        return current.Get();
    }
};

CZipOutputTree::CZipOutputTree() : held(new Held) {}
CZipOutputTree::~CZipOutputTree() = default;

void CZipOutputTree::Reset() { held.reset(new Held); }

bool CZipOutputTree::ForceFolder(const std::string& root, const std::string& relative) {
    return held->OpenRoot(root) && held->Folder(relative) >= 0;
}

bool CZipOutputTree::SetFolderAttributes(const std::string& root, const std::string& relative,
                                         uint32_t attributes) {
    if (!held->OpenRoot(root)) return false;
    const int fd = held->Folder(relative);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return false;
    const mode_t mode = ZipFs::ModeForAttributes(attributes, st.st_mode);
    if ((st.st_mode & 07777) == mode) return true;
    return fchmod(fd, mode) == 0;
}

void CZipOutputTree::CreateOutputFile(const std::string& root, const std::string& relative,
                                const std::string& fullPath, uint32_t attributes, CZipFile& file) {
    const size_t split = relative.find_last_of('/');
    const std::string folder = split == std::string::npos ? std::string() : relative.substr(0, split);
    const std::string name = split == std::string::npos ? relative : relative.substr(split + 1);
    int at = held->OpenRoot(root) ? held->Folder(folder) : -1;
    if (at < 0) CFileException::ThrowOsError(errno, fullPath);

    // The mode a new file would get without one from the entry.
    const mode_t plain = S_IFREG | (0666 & ~UmaskBits());
    const mode_t mode = ZipFs::ModeForAttributes(attributes, plain);
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd;
    do {
        fd = openat(at, name.c_str(), flags, mode);
        // A second entry of the same name replaces the first; whatever is in
        // the way is removed as itself, never followed.
        if (fd < 0 && errno == EEXIST && unlinkat(at, name.c_str(), 0) == 0) {
            errno = EINTR;
            continue;
        }
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) CFileException::ThrowOsError(errno == EEXIST ? EACCES : errno, fullPath);
    ScopedFd owned(fd);
    if ((mode & ~UmaskBits()) != mode && fchmod(fd, mode) != 0)
        CFileException::ThrowOsError(errno, fullPath);
    file.Adopt(owned.Release(), fullPath);
}

bool CZipOutputTree::FinishFile(CZipFile& file, time_t time, uint32_t) {
    struct timespec times[2];
    ZipFs::ModTimes(time, times);
    const bool timed = futimens(static_cast<int>(file.GetHandle()), times) == 0;
    file.Close();
    return timed;
}
