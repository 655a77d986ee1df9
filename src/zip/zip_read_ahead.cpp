#include "zip/zip_read_ahead.h"

#include <cstring>

void CZipReadAhead::Reset() {
    bufferStart = 0;
    bufferLength = 0;
    cursor = 0;
}

void CZipReadAhead::Release() {
    Reset();
    buffer.Release();
}

bool CZipReadAhead::Open(const std::string& path, unsigned openFlags, bool throwOnError) {
    Reset();
    return file.Open(path, openFlags, throwOnError);
}

void CZipReadAhead::Close() {
    Reset();
    file.Close();
}

uint64_t CZipReadAhead::GetPosition() const { return bufferStart + cursor; }

void CZipReadAhead::Settle() {
    if (bufferLength == cursor) {
        // Everything buffered was handed out: the file already stands there.
        bufferStart += bufferLength;
    } else {
        const uint64_t position = bufferStart + cursor;
        file.Seek(static_cast<int64_t>(position), 0);
        bufferStart = position;
    }
    bufferLength = 0;
    cursor = 0;
}

uint64_t CZipReadAhead::Seek(int64_t offset, int origin) {
    if (bufferLength != 0 && (origin == 0 || origin == 1)) {
        // Positions stay far below 2^63, so the sum cannot overflow.
        const int64_t here = static_cast<int64_t>(bufferStart + cursor);
        const int64_t target = origin == 0 ? offset : here + offset;
        const int64_t start = static_cast<int64_t>(bufferStart);
        if (target >= start && target <= start + bufferLength) {
            cursor = static_cast<uint32_t>(target - start);
            return static_cast<uint64_t>(target);
        }
    }
    Settle();
    const uint64_t position = file.Seek(offset, origin);
    bufferStart = position;
    return position;
}

void CZipReadAhead::SetLength(uint64_t length) {
    Settle();
    file.SetLength(length);
}

uint32_t CZipReadAhead::Read(void* out, uint32_t count) {
    char* to = static_cast<char*>(out);
    uint32_t done = 0;
    while (done < count) {
        if (cursor < bufferLength) {
            uint32_t n = bufferLength - cursor;
            if (n > count - done) n = count - done;
            std::memcpy(to + done, buffer.data + cursor, n);
            cursor += n;
            done += n;
            continue;
        }
        bufferStart += bufferLength;
        bufferLength = 0;
        cursor = 0;
        const uint32_t left = count - done;
        if (left >= ReadAheadSize) {
            // Large reads gain nothing from the buffer.
            const uint32_t n = file.Read(to + done, left);
            bufferStart += n;
            return done + n;
        }
        if (!buffer.size) buffer.Allocate(ReadAheadSize, false);
        bufferLength = file.Read(buffer.data, ReadAheadSize);
        if (bufferLength == 0) break;
    }
    return done;
}

void CZipReadAhead::Write(const void* data, uint32_t count) {
    Settle();
    file.Write(data, count);
    bufferStart += count;
}
