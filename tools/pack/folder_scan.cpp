#include "folder_scan.h"

#include <algorithm>

#include "pack_error.h"

namespace kvpack {

namespace {

void Walk(const std::string& path, const std::string& prefix, std::vector<std::string>& ancestors,
          const std::vector<std::string>& skip, ScanResult& result) {
    std::vector<std::string> names = ListFolder(path);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string child = JoinPath(path, name);
        std::string relative = prefix.empty() ? name : prefix + "/" + name;
        FileInfo info = StatPath(child);
        if (!info.exists)
            throw CPackError("cannot read '" + child + "': it vanished or is a link to nothing");
        if (std::find(skip.begin(), skip.end(), info.identity) != skip.end()) continue;
        if (info.isFolder) {
            if (std::find(ancestors.begin(), ancestors.end(), info.identity) != ancestors.end())
                throw CPackError("'" + child + "' leads back into a folder that contains it (a link loop)");
            result.items.push_back(ScannedItem{relative, child, info});
            ancestors.push_back(info.identity);
            Walk(child, relative, ancestors, skip, result);
            ancestors.pop_back();
        } else if (info.isFile) {
            result.totalBytes += info.size;
            result.items.push_back(ScannedItem{relative, child, info});
        } else {
            result.skipped.push_back(child);
        }
    }
}

}  // namespace

ScanResult ScanFolder(const std::string& root, const std::vector<std::string>& skipIdentities) {
    FileInfo info = StatPath(root);
    if (!info.exists) throw CPackError("folder '" + root + "' does not exist");
    if (!info.isFolder) throw CPackError("'" + root + "' is not a folder");
    ScanResult result;
    std::vector<std::string> ancestors{info.identity};
    Walk(root, "", ancestors, skipIdentities, result);
    return result;
}

}  // namespace kvpack
