// The scratch folders of the fuzz targets that extract: a folder of this
// process's own on tmpfs (else /tmp), removed whole, and counted to see that
// nothing was written outside the target.
#pragma once

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace fuzzsandbox {

inline int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

inline void RemoveTree(const std::string& path) { nftw(path.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS); }

// Names in `folder` other than "." and "..".
inline int CountChildren(const std::string& folder) {
  DIR* d = opendir(folder.c_str());
  if (!d) return -1;
  int n = 0;
  while (dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) ++n;
  closedir(d);
  return n;
}

// /dev/shm/<prefix>_<pid>, or the same below /tmp.
inline std::string Sandbox(const char* prefix) {
  struct stat st;
  const std::string root = stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
  return root + "/" + prefix + "_" + std::to_string(getpid());
}

}  // namespace fuzzsandbox
