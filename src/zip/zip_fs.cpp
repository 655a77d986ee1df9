// The platform-independent parts of ZipFs.
#include "zip/zip_fs.h"

#include "zip/zip_path.h"

namespace ZipFs {

bool ForceFolder(const std::string& path) {
    const char sep = CZipPath::Separator(CZipPath::NativeStyle());
    std::string p = path;
    while (!p.empty() && p.back() == sep) p.pop_back();
    const std::string parent = CZipPath(p).FolderPath();
    if (parent == p || FileExists(p) == -1) return true;
    // The parent is normally shorter; a parent that is not (an odd mix of
    // separators) is not walked into, so the recursion always ends.
    if (parent.size() < p.size() && !ForceFolder(parent)) return false;
    return CreateFolder(p);
}

}  // namespace ZipFs
