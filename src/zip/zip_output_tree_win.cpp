// Extraction targets on Windows: the path-based calls of the platform layer.
#include "zip/zip_output_tree.h"

#include "zip/zip_file.h"
#include "zip/zip_fs.h"
#include "zip/zip_host.h"

namespace {

std::string Join(const std::string& root, const std::string& relative) {
    if (root.empty()) return relative;
    if (relative.empty() || root.back() == ZipHost::Separator) return root + relative;
    return root + ZipHost::Separator + relative;
}

}  // namespace

struct CZipOutputTree::Held {};

CZipOutputTree::CZipOutputTree() = default;
CZipOutputTree::~CZipOutputTree() = default;

void CZipOutputTree::Reset() {}

bool CZipOutputTree::ForceFolder(const std::string& root, const std::string& relative) {
    return ZipFs::ForceFolder(Join(root, relative));
}

bool CZipOutputTree::SetFolderAttributes(const std::string& root, const std::string& relative,
                                         uint32_t attributes) {
    return ZipFs::SetAttributes(Join(root, relative), attributes);
}

void CZipOutputTree::CreateOutputFile(const std::string&, const std::string&, const std::string& fullPath,
                                uint32_t, CZipFile& file) {
    file.Open(fullPath, CZipFile::OpenCreate | CZipFile::ShareDenyWrite | CZipFile::OpenWrite, true);
}

bool CZipOutputTree::FinishFile(CZipFile& file, time_t time, uint32_t attributes) {
    const std::string path = file.GetFilePath();
    file.Close();
    if (!ZipFs::SetFileModTime(path, time)) return false;
    return ZipFs::SetAttributes(path, attributes);
}
