// Where extraction writes: the folders and files below one target folder.
//
// Linux: everything is created relative to open folder descriptors, and no
// symbolic link is ever followed: folders are walked one component at a time
// with O_NOFOLLOW | O_DIRECTORY opens, files are created with O_CREAT |
// O_EXCL | O_NOFOLLOW (an existing file of the name is unlinked first, so a
// later entry of the same name replaces it, as before, but never through a
// link). The target folder and the folder written last stay open, and the
// folders this object made are known to exist, so that a run of files in one
// folder costs no look-ups; at most three folder descriptors are open at a
// time, however deep the path. A new file is created with its entry's final
// mode (a change of mode follows only where the umask took bits away), and
// its time is set through its descriptor before it is closed. No lock is
// taken on extracted files.
// Windows: the same walk over folder handles (framework/folder_relative_win.h):
// each component is made or opened relative to the open folder above it, and
// a junction, symbolic link or file in the way is refused; a file is always
// created new (a file or file link that holds its name is removed as itself
// first; a folder or folder link there is left and the creation refused) and
// gets its time and attributes through its own handle before it is closed.
// The target folder and the folder written last stay open. The whole path
// has no length limit (the system's plain path calls stop at MAX_PATH); each
// component is held to the file system's 255 UTF-16 units.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

class CZipFile;

class CZipOutputTree {
public:
    CZipOutputTree();
    ~CZipOutputTree();
    CZipOutputTree(const CZipOutputTree&) = delete;
    CZipOutputTree& operator=(const CZipOutputTree&) = delete;

    // Makes the folder `relative` (components separated by the platform's
    // separator; empty: `root` itself) exist below `root` (empty: the current
    // folder). True when it is a folder afterwards.
    bool ForceFolder(const std::string& root, const std::string& relative);
    // Gives that folder an entry's attributes; false when it is not there.
    bool SetFolderAttributes(const std::string& root, const std::string& relative,
                             uint32_t attributes);
    // Creates the file `relative` below `root` for writing, emptying one that
    // exists; `fullPath` is what the file reports as its path. The folders
    // above it are made where missing. Failures throw CFileException.
    void CreateOutputFile(const std::string& root, const std::string& relative,
                    const std::string& fullPath, uint32_t attributes, CZipFile& file);
    // Sets the file's modification time (last access: now) and its
    // attributes, then closes it. False when the time or the attributes could
    // not be set; the file is closed all the same.
    static bool FinishFile(CZipFile& file, time_t time, uint32_t attributes);
    // Closes what is held open.
    void Reset();

private:
    struct Held;
    std::unique_ptr<Held> held;
};
