// Naming and creating the work folder; the file-system calls are per platform.
#include "launcher/work_folder.h"

#include <climits>
#include <cstdio>

#include "framework/wait_cursor.h"
#include "launcher/absolute_path.h"

std::string CreateWorkFolder(const std::string& parent) {
    CWaitCursor wait;
    std::string base = parent.empty() ? WorkFolderFs::TemporaryFolder() : parent;
    if (base.empty()) return "";
    // A relative parent (/T:., a relative TMPDIR) would name a folder that
    // the cleaner refuses, leaving the payload behind.
    base = AbsolutePath(base);
    if (base.empty()) return "";
    while (!base.empty() && (base.back() == WorkFolderFs::Separator)) base.pop_back();

    const std::string format = std::string("%s") + WorkFolderFs::Separator + "kv_ext_temp_%d";
    for (int n = 0; n < INT_MAX; ++n) {
        std::string name(base.size() + 32, '\0');
        int length = std::snprintf(&name[0], name.size(), format.c_str(), base.c_str(), n);
        if (length < 0) return "";
        name.resize(static_cast<size_t>(length));
        switch (WorkFolderFs::CreateFolderExclusive(name)) {
        case WorkFolderFs::CreateResult::Created:
            return name;
        case WorkFolderFs::CreateResult::NameTaken:
            break;
        case WorkFolderFs::CreateResult::Failed:
            return "";
        }
    }
    return "";
}
