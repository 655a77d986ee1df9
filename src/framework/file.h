// The framework's file class: an operating-system file handle with the
// operations the archive reader needs. Every failure throws a CFileException
// (as a pointer) that carries the cause, the system error and the file name;
// only Open reports by its result.
//
// Positions and lengths are 64-bit, so that files of any size are reachable
// (also from the 32-bit Windows program); the counts of one read or write are
// 32-bit.
//
// Open flags and their meaning:
//   OpenRead 0x0000, OpenWrite 0x0001, OpenReadWrite 0x0002: access;
//   ShareDenyWrite 0x0020: while open, others may read but not write; without
//     it the file is opened exclusively (others may neither read nor write);
//   OpenCreate 0x1000: create the file, emptying an existing one;
//   OpenNoTruncate 0x2000: with OpenCreate, keep an existing file's contents.
//     Without OpenCreate the file must exist.
//
// Windows: CreateFileA with the access, the share mode (0 or FILE_SHARE_READ)
// and CREATE_ALWAYS / OPEN_ALWAYS / OPEN_EXISTING; handles are not inherited
// by child processes.
// Linux: open(2). Sharing has no mandatory form there; it is approximated with
// advisory flock(2) locks taken without waiting: a read-only open with
// ShareDenyWrite takes a shared lock, every other open an exclusive one. So,
// between processes (and file objects) that use this class, readers that
// deny writing share the file, while a writer or an exclusive opener is
// refused with CauseSharingViolation, as on Windows. Programs that do not
// take locks are not held off. A file system without flock support opens
// without the lock. A file to be emptied is truncated only after its lock was
// granted, so a refused open never destroys contents.
#pragma once

#include <cstdint>
#include <string>

#include "framework/file_exception.h"

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : unsigned {
        OpenRead = 0x0000,
        OpenWrite = 0x0001,
        OpenReadWrite = 0x0002,
        ShareDenyWrite = 0x0020,
        OpenCreate = 0x1000,
        OpenNoTruncate = 0x2000,
    };
    enum SeekOrigin { SeekBegin = 0, SeekCurrent = 1, SeekEnd = 2 };

    // HANDLE on Windows, file descriptor on Linux; -1 when closed.
    using Handle = std::intptr_t;
    static constexpr Handle InvalidHandle = -1;

    CFile() = default;
    ~CFile() override;  // closes an open file, ignoring failures
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path`. On failure returns false and, when `error` is given,
    // fills it with cause, system error and file name.
    virtual bool Open(const std::string& path, unsigned openFlags,
                      CFileException* error = nullptr);
    // Closes the file; a failure of the system close throws. Closing a closed
    // file does nothing.
    virtual void Close();
    // Closes without ever throwing.
    void Abort();
    // Pushes the file's buffers to the device (FlushFileBuffers / fsync).
    virtual void Flush();

    virtual uint64_t GetPosition() const;
    // Moves by `offset` from `origin` (0 begin, 1 current, 2 end) and returns
    // the new position. A position before the beginning throws CauseBadSeek.
    virtual uint64_t Seek(int64_t offset, int origin);
    virtual uint64_t GetLength() const;
    virtual void SetLength(uint64_t length);
    void SeekToBegin() { Seek(0, SeekBegin); }
    void SeekToEnd() { Seek(0, SeekEnd); }

    // Reads up to `count` bytes; fewer only at the end of the file (0 there).
    virtual uint32_t Read(void* buffer, uint32_t count);
    // Writes all `count` bytes or throws (a full disk is CauseDiskFull).
    virtual void Write(const void* buffer, uint32_t count);

    // Full path recorded at opening; empty when closed.
    virtual std::string GetFilePath() const { return filePath; }
    bool IsOpen() const { return handle != InvalidHandle; }
    Handle GetHandle() const { return handle; }

protected:
    // Throws a CFileException for the system's last error (GetLastError or
    // errno) on this file.
    [[noreturn]] void ThrowLastError() const;
    // Throws CauseInvalidFile when no file is open.
    void CheckOpen() const;

    Handle handle = InvalidHandle;
    bool closeOnDelete = false;
    std::string filePath;
};
