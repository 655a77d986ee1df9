// Naming and creating the work folder; the file-system calls are per platform.
#include "launcher/work_folder.h"

#include <climits>
#include <string>

#include "cleanup/folder_cleaner.h"
#include "framework/wait_cursor.h"
#include "launcher/absolute_path.h"
#include "launcher/system_error.h"

namespace {

bool IsWorkFolderName(const std::string& name) {
    const std::string prefix = "kv_ext_temp_";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

}  // namespace

void EmptyWorkFolder(const std::string& folder, bool pump) {
    CFolderCleaner cleaner;
    cleaner.source = folder + WorkFolderFs::Separator + "*.*";
    cleaner.includeSubfolders = 1;
    cleaner.continueOnError = 1;
    cleaner.deleteHiddenSystem = 1;
    cleaner.Clean(pump);
}

void SweepStaleWorkFolders(const std::string& base) {
    for (const std::string& name : WorkFolderFs::ListNames(base)) {
        if (!IsWorkFolderName(name)) continue;
        const std::string path = base + WorkFolderFs::Separator + name;
        CWorkFolderMark taken;
        if (!WorkFolderFs::TakeStale(path, taken)) continue;
        EmptyWorkFolder(path, false);
        WorkFolderFs::RemoveTaken(path, taken);
    }
}

std::string CreateWorkFolder(const std::string& parent, std::string* failure, CWorkFolderMark* mark) {
    CWaitCursor wait;
    std::string base = parent.empty() ? WorkFolderFs::TemporaryFolder() : parent;
    if (base.empty()) {
        if (failure) *failure = "Could not create the work folder: the temporary folder is not known.";
        return "";
    }
    // A relative parent (/T:., a relative TMPDIR) would name a folder that
    // the cleaner refuses, leaving the payload behind.
    const std::string given = base;
    base = AbsolutePath(given);
    if (base.empty()) {
        if (failure) *failure = "Could not create the work folder: the full path of \"" + given + "\" is not known.";
        return "";
    }
    while (!base.empty() && (base.back() == WorkFolderFs::Separator)) base.pop_back();
    SweepStaleWorkFolders(base);

    const std::string prefix = base + WorkFolderFs::Separator + "kv_ext_temp_";
    for (int n = 0; n < INT_MAX; ++n) {
        const std::string name = prefix + std::to_string(n);
        switch (WorkFolderFs::CreateFolderExclusive(name)) {
        case WorkFolderFs::CreateResult::Created: {
            CWorkFolderMark own;
            if (!WorkFolderFs::MarkAlive(name, mark ? *mark : own)) {
                const unsigned long error = LastSystemError();
                WorkFolderFs::RemoveTaken(name, mark ? *mark : own);
                if (failure) *failure = "Could not mark the work folder \"" + name + "\" as in use: " + SystemErrorMessage(error);
                return "";
            }
            return name;
        }
        case WorkFolderFs::CreateResult::NameTaken:
            break;
        case WorkFolderFs::CreateResult::Failed: {
            const unsigned long error = LastSystemError();
            if (failure) *failure = "Could not create the work folder \"" + name + "\": " + SystemErrorMessage(error);
            return "";
        }
        }
    }
    return "";
}
