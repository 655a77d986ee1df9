// Extraction targets on Windows: folder-relative creation that never follows
// a junction or a symbolic link (see zip_output_tree.h).
#include "zip/zip_output_tree.h"

#include <windows.h>
#include <winternl.h>

#include "framework/file_exception.h"
#include "framework/folder_relative_win.h"
#include "zip/zip_file.h"

using namespace FolderRelative;

namespace {

constexpr char kSeparator = '\\';

// The next component of `relative` from `pos` on; empty ones and "." skipped.
bool NextComponent(const std::string& relative, size_t& pos, std::string& component) {
    while (pos < relative.size()) {
        size_t end = relative.find(kSeparator, pos);
        if (end == std::string::npos) end = relative.size();
        component.assign(relative, pos, end - pos);
        pos = end + 1;
        if (!component.empty() && component != ".") return true;
    }
    return false;
}

// Removes what holds `name` in `at` so that a new file can take the name: a
// file, or a link of either kind as itself; never a real folder.
bool RemoveInTheWay(HANDLE at, const std::string& name) {
    const ScopedWinHandle existing = OpenAt(at, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0);
    if (!existing) return false;
    const DWORD attributes = AttributesOf(existing.Get());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    return MarkForDeletion(existing.Get());
}

}  // namespace

struct CZipOutputTree::Held {
    std::string rootPath;
    ScopedWinHandle root;
    std::string currentPath;  // relative path of `current`
    ScopedWinHandle current;

    bool OpenRoot(const std::string& path) {
        if (root && path == rootPath) return true;
        current.Reset();
        root = OpenFolder(path);
        rootPath = path;
        return root.IsValid();
    }

    // The handle of `relative`, made where missing; null on failure
    // (GetLastError()).
    HANDLE Folder(const std::string& relative) {
        if (relative.empty()) return root.Get();
        if (current && relative == currentPath) return current.Get();
        // Start below the folder held open when the path goes on from it.
        HANDLE start = root.Get();
        size_t pos = 0;
        if (current && relative.size() > currentPath.size() &&
            relative.compare(0, currentPath.size(), currentPath) == 0 &&
            relative[currentPath.size()] == kSeparator) {
            start = current.Get();
            pos = currentPath.size() + 1;
        }
        ScopedWinHandle walked;
        std::string component;
        while (NextComponent(relative, pos, component)) {
            // One call makes the folder or opens the one that is there; a
            // file or a link in the way is refused.
            ScopedWinHandle next = OpenFolderAt(walked ? walked.Get() : start, component, true);
            if (!next) return nullptr;
            walked = std::move(next);
        }
        if (!walked) return start;
        current = std::move(walked);
        currentPath = relative;
        return current.Get();
    }
};

CZipOutputTree::CZipOutputTree() : held(new Held) {}
CZipOutputTree::~CZipOutputTree() = default;

void CZipOutputTree::Reset() { held.reset(new Held); }

bool CZipOutputTree::ForceFolder(const std::string& root, const std::string& relative) {
    return held->OpenRoot(root) && held->Folder(relative) != nullptr;
}

bool CZipOutputTree::SetFolderAttributes(const std::string& root, const std::string& relative,
                                         uint32_t attributes) {
    if (!held->OpenRoot(root)) return false;
    const HANDLE folder = held->Folder(relative);
    return folder && SetBasic(folder, attributes);
}

void CZipOutputTree::CreateOutputFile(const std::string& root, const std::string& relative,
                                      const std::string& fullPath, uint32_t, CZipFile& file) {
    const size_t split = relative.find_last_of(kSeparator);
    const std::string folder = split == std::string::npos ? std::string() : relative.substr(0, split);
    const std::string name = split == std::string::npos ? relative : relative.substr(split + 1);
    const HANDLE at = held->OpenRoot(root) ? held->Folder(folder) : nullptr;
    if (!at) CFileException::ThrowOsError(static_cast<long>(GetLastError()), fullPath);

    // Always a new file: a second entry of the same name replaces the first,
    // and whatever else holds the name is removed as itself, never written
    // through. Others may read it while it is written.
    ScopedWinHandle created;
    for (int attempt = 0; attempt < 3; ++attempt) {
        created = OpenAt(at, name, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, FILE_CREATE,
                         FILE_NON_DIRECTORY_FILE);
        const DWORD error = GetLastError();
        if (created || (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)) break;
        if (!RemoveInTheWay(at, name)) {
            SetLastError(ERROR_ACCESS_DENIED);
            break;
        }
    }
    if (!created) CFileException::ThrowOsError(static_cast<long>(GetLastError()), fullPath);
    file.Adopt(reinterpret_cast<CFile::Handle>(created.Release()), fullPath);
}

bool CZipOutputTree::FinishFile(CZipFile& file, time_t time, uint32_t attributes) {
    if (file.IsClosed()) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const int64_t accessTime = static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
                                                    now.dwLowDateTime);
    // 100-ns intervals since 1601-01-01.
    const int64_t writeTime = time == static_cast<time_t>(-1)
                                  ? accessTime
                                  : static_cast<int64_t>(time) * 10000000LL + 116444736000000000LL;
    const bool set = SetBasic(reinterpret_cast<HANDLE>(file.GetHandle()), attributes, accessTime, writeTime);
    file.Close();
    return set;
}
