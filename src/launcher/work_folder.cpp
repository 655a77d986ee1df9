// Naming and creating the work folder; the file-system calls are per platform.
#include "launcher/work_folder.h"

#include <climits>
#include <string>

#include "framework/wait_cursor.h"
#include "launcher/absolute_path.h"
#include "launcher/system_error.h"

std::string CreateWorkFolder(const std::string& parent, std::string* failure) {
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

    const std::string prefix = base + WorkFolderFs::Separator + "kv_ext_temp_";
    for (int n = 0; n < INT_MAX; ++n) {
        const std::string name = prefix + std::to_string(n);
        switch (WorkFolderFs::CreateFolderExclusive(name)) {
        case WorkFolderFs::CreateResult::Created:
            return name;
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
