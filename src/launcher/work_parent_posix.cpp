// Work-folder parent on Linux: away from file systems mounted noexec.
#include "launcher/work_parent.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "launcher/work_folder.h"

namespace {

// True only when the folder's file system is known to refuse programs; a
// folder that cannot be examined is left to the work-folder creation.
bool RefusesPrograms(const std::string& folder) {
    struct statvfs info;
    return statvfs(folder.c_str(), &info) == 0 && (info.f_flag & ST_NOEXEC) != 0;
}

// A fallback must be an existing folder the user may write to, on a file
// system that allows programs.
bool SuitsPrograms(const std::string& folder) {
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(folder.c_str(), W_OK | X_OK) == 0 &&
           !RefusesPrograms(folder);
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

WorkParentChoice ChooseWorkParent(const std::string& switchParent) {
    if (!switchParent.empty()) {
        if (!RefusesPrograms(switchParent)) return {switchParent, ""};
        return {"", "The folder " + switchParent +
                        " (/T:) is on a file system mounted noexec, where the program cannot be started. "
                        "Nothing was extracted. Give a folder that allows programs with /T:<folder>."};
    }
    const std::string temporary = WorkFolderFs::TemporaryFolder();
    if (!RefusesPrograms(temporary)) return {"", ""};

    std::string tried;
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (!runtime.empty()) {
        if (SuitsPrograms(runtime)) return {runtime, ""};
        tried += ", " + runtime;
    }
    const std::string home = Environment("HOME");
    if (!home.empty()) {
        const std::string cache = home + "/.cache";
        if (mkdir(cache.c_str(), 0700) == 0 || errno == EEXIST) {
            if (SuitsPrograms(cache)) return {cache, ""};
        }
        tried += ", " + cache;
    }
    return {"", "The temporary folder " + temporary +
                    " is on a file system mounted noexec, where the program cannot be started, and no other "
                    "folder allows programs either (tried $XDG_RUNTIME_DIR and $HOME/.cache" +
                    (tried.empty() ? "" : ": " + tried.substr(2)) +
                    "). Nothing was extracted. Give a folder that allows programs with /T:<folder>."};
}
