// The platform-independent parts of ZipFs.
#include "zip/zip_fs.h"

#include "zip/zip_path.h"

#include <vector>

namespace ZipFs {

bool ForceFolder(const std::string& path) {
    const char sep = CZipPath::Separator(CZipPath::NativeStyle());
    std::string p = path;
    while (!p.empty() && p.back() == sep) p.pop_back();
    // Up to the nearest folder that exists (or the root, its own parent),
    // remembering the missing ones; then create those from the top down. A
    // loop, not a recursion: the depth of a path has no bound.
    std::vector<std::string> missing;
    for (;;) {
        const std::string parent = CZipPath(p).FolderPath();
        if (parent == p || FileExists(p) == -1) break;
        missing.push_back(p);
        // The parent is normally shorter; one that is not (an odd mix of
        // separators) is not walked into, so the walk always ends.
        if (parent.size() >= p.size()) break;
        p = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (!CreateFolder(*it)) return false;
    return true;
}

}  // namespace ZipFs
