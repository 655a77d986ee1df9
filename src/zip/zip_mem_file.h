// A CZipFileBase kept in memory: an archive that never touches the disk (the
// fuzz targets and tests open archives from bytes this way; see
// CZipStore::Open(CZipFileBase&, mode)). It behaves like a file: reads stop
// at the end, writes past the end extend it, seeking before the beginning
// throws CFileException (CauseBadSeek), and every operation on a closed
// object throws CFileException (CauseInvalidFile) like a closed CZipFile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/zip_file.h"

class CZipMemFile : public CZipFileBase {
public:
    // An open, empty file.
    explicit CZipMemFile(const std::string& name = std::string());
    // An open file holding a copy of `size` bytes at `bytes`.
    CZipMemFile(const void* bytes, uint32_t size, const std::string& name = std::string());

    // Reopens: keeps the contents unless OpenCreate without OpenNoTruncate
    // empties them; position 0; `path` becomes the name. Always succeeds.
    bool Open(const std::string& path, unsigned openFlags, bool throwOnError) override;
    void Close() override;  // keeps the contents
    void Flush() override {}
    uint64_t GetPosition() const override;
    uint64_t Seek(int64_t offset, int origin) override;
    uint64_t GetLength() const override;
    void SetLength(uint64_t length) override;
    std::string GetFilePath() const override;
    uint32_t Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    bool IsClosed() const override { return closed; }

    const std::vector<char>& Data() const { return bytes; }

private:
    void CheckOpen() const;

    std::vector<char> bytes;
    uint64_t position = 0;
    std::string name;
    bool closed = false;
};
