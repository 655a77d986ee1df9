// The file through which the archive reader moves bytes.
//
// CZipFileBase is the abstract interface (the storage and the directory use
// only this); CZipFile implements it over the framework's CFile; a
// memory-backed implementation is in zip_mem_file.h.
#pragma once

#include <cstdint>
#include <string>

#include "framework/file.h"

class CZipFileBase {
public:
    // Open flags (the framework file's values; see framework/file.h).
    enum : unsigned {
        OpenRead = 0x0000,
        OpenWrite = 0x0001,
        OpenReadWrite = 0x0002,
        ShareDenyWrite = 0x0020,
        OpenCreate = 0x1000,
        OpenNoTruncate = 0x2000,
    };

    // Opens a file; the base version does nothing and returns true.
    virtual bool Open(const std::string& path, unsigned openFlags, bool throwOnError);
    virtual void Close() = 0;
    virtual void Flush() = 0;
    virtual uint64_t GetPosition() const = 0;
    // Moves by `offset` from origin 0 (begin), 1 (current) or 2 (end);
    // returns the new position.
    virtual uint64_t Seek(int64_t offset, int origin) = 0;
    virtual uint64_t GetLength() const = 0;
    virtual void SetLength(uint64_t length) = 0;
    virtual void SeekToBegin() { Seek(0, 0); }
    virtual void SeekToEnd() { Seek(0, 2); }
    virtual std::string GetFilePath() const = 0;
    // Reads up to `count` bytes; the number read, 0 at the end of the file.
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;
    // Writes all `count` bytes or throws.
    virtual void Write(const void* buffer, uint32_t count) = 0;
    virtual bool IsClosed() const = 0;
    virtual ~CZipFileBase() = default;
};

// CZipFileBase over the framework file. Reached through either base, it
// behaves the same. Every failure throws CFileException*, except Open with
// `throwOnError` false, which reports by its result.
class CZipFile : public CZipFileBase, public CFile {
    DECLARE_DYNAMIC(CZipFile)
public:
    using CZipFileBase::OpenRead;
    using CZipFileBase::OpenWrite;
    using CZipFileBase::OpenReadWrite;
    using CZipFileBase::ShareDenyWrite;
    using CZipFileBase::OpenCreate;
    using CZipFileBase::OpenNoTruncate;

    CZipFile() = default;
    ~CZipFile() override = default;  // CFile closes a file still open

    bool Open(const std::string& path, unsigned openFlags, bool throwOnError) override;
    using CFile::Open;
    // Takes ownership of a file handle opened elsewhere (a file created
    // relative to a folder handle); `path` is what GetFilePath() reports.
    void Adopt(Handle openHandle, const std::string& path);
    // Closing a closed file does nothing; afterwards GetFilePath() is empty.
    void Close() override;
    // Does nothing when closed.
    void Flush() override;
    uint64_t GetPosition() const override;
    uint64_t Seek(int64_t offset, int origin) override;
    uint64_t GetLength() const override;
    void SetLength(uint64_t length) override;
    void SeekToBegin() override;
    void SeekToEnd() override;
    std::string GetFilePath() const override;
    uint32_t Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    bool IsClosed() const override { return !IsOpen(); }
};
