// Work folder on Linux: $TMPDIR (else /tmp), mkdir with mode 0700, and the
// alive mark: a shared flock on the folder's own descriptor.
#include "launcher/work_folder.h"

#include "framework/scoped_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

struct CWorkFolderMark::Held {
    ScopedFd handle;
};

CWorkFolderMark::CWorkFolderMark() : held(new Held) {}
CWorkFolderMark::~CWorkFolderMark() = default;
bool CWorkFolderMark::IsHeld() const { return held->handle.IsValid(); }
void CWorkFolderMark::Release() { held->handle.Reset(); }

namespace WorkFolderFs {

namespace {

// The folder itself, never a link's target.
int OpenFolder(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// True also when the folder cannot be listed: such a folder is left alone.
bool IsEmpty(int folder) {
    ScopedDir listing(fdopendir(dup(folder)));
    if (!listing) return true;
    while (const dirent* entry = readdir(listing.Get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") return false;
    }
    return true;
}

}  // namespace

const char Separator = '/';

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

CreateResult CreateFolderExclusive(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) return CreateResult::Created;
    return errno == EEXIST ? CreateResult::NameTaken : CreateResult::Failed;
}

bool MarkAlive(const std::string& path, CWorkFolderMark& mark) {
    ScopedFd folder(OpenFolder(path));
    if (!folder) return false;
    // Waits while a sweep looks at the folder (it lets an empty one go).
    while (flock(folder.Get(), LOCK_SH) != 0) {
        if (errno != EINTR) return false;
    }
    mark.held->handle = std::move(folder);
    return true;
}

bool TakeStale(const std::string& path, CWorkFolderMark& taken) {
    ScopedFd folder(OpenFolder(path));
    struct stat info;
    if (!folder || fstat(folder.Get(), &info) != 0 || info.st_uid != geteuid()) return false;
    if (flock(folder.Get(), LOCK_EX | LOCK_NB) != 0) return false;  // a live run holds it
    if (IsEmpty(folder.Get())) return false;                       // perhaps not marked yet
    taken.held->handle = std::move(folder);
    return true;
}

void RemoveTaken(const std::string& path, CWorkFolderMark& taken) {
    rmdir(path.c_str());
    taken.Release();
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    ScopedDir listing(opendir(folder.c_str()));
    if (!listing) return names;
    while (const dirent* entry = readdir(listing.Get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

}  // namespace WorkFolderFs
