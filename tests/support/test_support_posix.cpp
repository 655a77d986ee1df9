#include "test_support.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "framework/scoped_fd.h"

namespace testsupport {

std::string NativePath(const std::string& unixPath) { return unixPath; }

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) throw std::runtime_error("cannot create folder " + path);
}

static int RemoveOne(const char* path, const struct stat*, int, struct FTW*) {
    chmod(path, 0700);  // a read-only folder would keep its entries
    return remove(path);
}

static int OpenUp(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_D) chmod(path, (st->st_mode & 07777) | 0700);
    return 0;
}

void RemoveTree(const std::string& path) {
    if (!Exists(path)) return;
    nftw(path.c_str(), OpenUp, 16, FTW_PHYS);
    nftw(path.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    ScopedDir folder(opendir(path.c_str()));
    if (!folder) throw std::runtime_error("cannot list " + path);
    while (const struct dirent* entry = readdir(folder.Get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvsfx-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

}  // namespace testsupport
