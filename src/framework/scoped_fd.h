// Owners of POSIX handles: a file descriptor and an open folder listing.
#pragma once
#include <dirent.h>
#include <unistd.h>

#include "framework/scoped_handle.h"

struct FdTraits {
    using Value = int;
    static int Invalid() { return -1; }
    static bool IsValid(int fd) { return fd >= 0; }
    static void Close(int fd) { ::close(fd); }
};
using ScopedFd = ScopedHandle<FdTraits>;

struct DirTraits {
    using Value = DIR*;
    static DIR* Invalid() { return nullptr; }
    static bool IsValid(DIR* dir) { return dir != nullptr; }
    static void Close(DIR* dir) { ::closedir(dir); }
};
using ScopedDir = ScopedHandle<DirTraits>;
