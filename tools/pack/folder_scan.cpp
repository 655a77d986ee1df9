#include "folder_scan.h"

#include <algorithm>

#include "pack_error.h"
#include "pack_links.h"

namespace kvpack {

namespace {

struct WalkRules {
    const std::vector<std::string>& skip;
    // Resolved path of the packed folder; "" when links may lead anywhere.
    std::string confinedTo;
};

// Refuses a path that leads outside the packed folder: it came through a link.
void CheckLink(const std::string& child, const WalkRules& rules) {
    if (rules.confinedTo.empty()) return;
    const std::string target = ResolvedPath(child);
    if (target.empty() || IsWithinFolder(target, rules.confinedTo)) return;  // a dangling link is reported below
    throw CPackError("'" + child + "' is a link to '" + target +
                     "', outside the packed folder; give --follow-links to pack what it points to");
}

void Walk(const std::string& path, const std::string& prefix, std::vector<std::string>& ancestors,
          const WalkRules& rules, ScanResult& result) {
    std::vector<std::string> names = ListFolder(path);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string child = JoinPath(path, name);
        std::string relative = prefix.empty() ? name : prefix + "/" + name;
        CheckLink(child, rules);
        FileInfo info = StatPath(child);
        if (!info.exists)
            throw CPackError("cannot read '" + child + "': it vanished or is a link to nothing");
        if (std::find(rules.skip.begin(), rules.skip.end(), info.identity) != rules.skip.end()) continue;
        if (info.isFolder) {
            if (std::find(ancestors.begin(), ancestors.end(), info.identity) != ancestors.end())
                throw CPackError("'" + child + "' leads back into a folder that contains it (a link loop)");
            result.items.push_back(ScannedItem{relative, child, info});
            ancestors.push_back(info.identity);
            Walk(child, relative, ancestors, rules, result);
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

ScanResult ScanFolder(const std::string& root, const std::vector<std::string>& skipIdentities,
                      bool followLinks) {
    FileInfo info = StatPath(root);
    if (!info.exists) throw CPackError("folder '" + root + "' does not exist");
    if (!info.isFolder) throw CPackError("'" + root + "' is not a folder");
    WalkRules rules{skipIdentities, ""};
    if (!followLinks) {
        rules.confinedTo = ResolvedPath(root);
        if (rules.confinedTo.empty()) throw CPackError("cannot resolve the path of folder '" + root + "'");
    }
    ScanResult result;
    std::vector<std::string> ancestors{info.identity};
    Walk(root, "", ancestors, rules, result);
    return result;
}

}  // namespace kvpack
