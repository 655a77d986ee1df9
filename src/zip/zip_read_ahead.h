// A read-ahead view of an archive file that is only read: small reads (the
// headers, the data of small entries) are served from one buffer filled by a
// single system read of ReadAheadSize bytes, and a seek that lands inside the
// buffer moves no file position at all. Reads of at least the buffer's size
// go straight to the file. Every other operation is passed through; the
// buffer is dropped whenever the file underneath is opened or closed.
#pragma once

#include <cstdint>
#include <string>

#include "zip/zip_buffer.h"
#include "zip/zip_file.h"

class CZipReadAhead : public CZipFileBase {
public:
    static constexpr uint32_t ReadAheadSize = 65536;

    explicit CZipReadAhead(CZipFileBase& file) : file(file) {}

    // After the file underneath was opened: nothing buffered, position 0.
    void Reset();
    // Releases the buffer's memory as well.
    void Release();

    bool Open(const std::string& path, unsigned openFlags, bool throwOnError) override;
    void Close() override;
    void Flush() override { file.Flush(); }
    uint64_t GetPosition() const override;
    uint64_t Seek(int64_t offset, int origin) override;
    uint64_t GetLength() const override { return file.GetLength(); }
    void SetLength(uint64_t length) override;
    std::string GetFilePath() const override { return file.GetFilePath(); }
    uint32_t Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    bool IsClosed() const override { return file.IsClosed(); }

private:
    // Drops the buffered bytes, moving the file to the position handed out.
    void Settle();

    CZipFileBase& file;
    CZipBuffer buffer;
    // The file stands at bufferStart + bufferLength; the position handed out
    // is bufferStart + cursor.
    uint64_t bufferStart = 0;
    uint32_t bufferLength = 0;
    uint32_t cursor = 0;
};
