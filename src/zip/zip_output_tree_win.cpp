// Extraction targets on Windows: folder-relative creation that never follows
// a junction or a symbolic link (see zip_output_tree.h).
#include "zip/zip_output_tree.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>

#include "framework/file_exception.h"
#include "framework/folder_relative_win.h"
#include "zip/zip_file.h"

using namespace FolderRelative;

namespace {

constexpr char kSeparator = '\\';

}  // namespace

struct CZipOutputTree::Held {
    std::string rootPath;
    ScopedWinHandle root;
    std::string currentPath;  // relative path of `current`
    ScopedWinHandle current;

    bool OpenRoot(const std::string& path) {
        if (root && path == rootPath) return true;
        current.Reset();
        root = OpenFolder(path.c_str());
        rootPath = path;
        return root.IsValid();
    }

    // The handle of the first `length` bytes of `relative`, made where
    // missing; null on failure (GetLastError()). Components are made or
    // opened one at a time below the folder above (empty ones and "."
    // skipped), and a file or a link in the way is refused. Names relative to
    // an open folder have no limit on the whole path's length.
    HANDLE Folder(const std::string& relative, size_t length) {
        if (length == 0) return root.Get();
        const char* const path = relative.data();
        if (current && currentPath.size() == length && memcmp(currentPath.data(), path, length) == 0)
            return current.Get();
        current.Reset();
        ScopedWinHandle walked;
        for (size_t pos = 0; pos < length;) {
            const void* const separator = memchr(path + pos, kSeparator, length - pos);
            const size_t end = separator ? static_cast<const char*>(separator) - path : length;
            if (end > pos && !(end == pos + 1 && path[pos] == '.')) {
                walked = OpenFolderAt(walked ? walked.Get() : root.Get(), path + pos, end - pos, true);
                if (!walked) return nullptr;
            }
            pos = end + 1;
        }
        if (!walked) return root.Get();
        current = std::move(walked);
        currentPath = std::string(path, length);
        return current.Get();
    }
};

CZipOutputTree::CZipOutputTree() : held(new Held) {}
CZipOutputTree::~CZipOutputTree() = default;

void CZipOutputTree::Reset() { held.reset(new Held); }

bool CZipOutputTree::ForceFolder(const std::string& root, const std::string& relative) {
    return held->OpenRoot(root) && held->Folder(relative, relative.size()) != nullptr;
}

bool CZipOutputTree::SetFolderAttributes(const std::string& root, const std::string& relative,
                                         uint32_t attributes) {
    const HANDLE folder = held->OpenRoot(root) ? held->Folder(relative, relative.size()) : nullptr;
    return folder && SetBasic(folder, attributes | FILE_ATTRIBUTE_NORMAL);
}

void CZipOutputTree::CreateOutputFile(const std::string& root, const std::string& relative,
                                      const std::string& fullPath, uint32_t, CZipFile& file) {
    const char* const separator = strrchr(relative.c_str(), kSeparator);
    const char* const name = separator ? separator + 1 : relative.c_str();
    const size_t nameLength = relative.c_str() + relative.size() - name;
    const HANDLE at =
        held->OpenRoot(root) ? held->Folder(relative, separator ? separator - relative.c_str() : 0) : nullptr;

    // Always a new file: a second entry of the same name replaces the first,
    // and a file or a file link that holds the name is removed as itself,
    // never written through; a folder (or a link to one) stays. Others may
    // read the file while it is written, and the cleanup that the session's
    // end runs in the middle of an entry can delete it (its name goes when
    // this handle is closed, at the latest when the process ends).
    ScopedWinHandle created;
    for (int attempt = 0; at && attempt < 3; ++attempt) {
        created = OpenAt(at, name, nameLength, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_CREATE,
                         FILE_NON_DIRECTORY_FILE, FILE_SHARE_READ | FILE_SHARE_DELETE);
        if (created || GetLastError() != ERROR_ALREADY_EXISTS) break;
        const ScopedWinHandle existing =
            OpenAt(at, name, nameLength, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
        if (!existing || !MarkForDeletion(existing.Get())) {
            SetLastError(ERROR_ACCESS_DENIED);
            break;
        }
    }
    if (!created) CFileException::ThrowOsError(static_cast<long>(GetLastError()), fullPath);
    file.Adopt(reinterpret_cast<CFile::Handle>(created.Release()), fullPath);
}

bool CZipOutputTree::FinishFile(CZipFile& file, time_t time, uint32_t attributes) {
    // As SetFileAttributes does: the normal bit keeps a value of 0 from
    // meaning "unchanged"; beside others it has no effect.
    const bool set = !file.IsClosed() &&
                     SetBasic(reinterpret_cast<HANDLE>(file.GetHandle()), attributes | FILE_ATTRIBUTE_NORMAL, true, time);
    file.Close();
    return set;
}
