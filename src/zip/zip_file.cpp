#include "zip/zip_file.h"

#include <cerrno>
#include <cstring>

#include "zip/zip_mem_file.h"

bool CZipFileBase::Open(const std::string&, unsigned, bool) { return true; }

IMPLEMENT_DYNAMIC(CZipFile, CFile)

bool CZipFile::Open(const std::string& path, unsigned openFlags, bool throwOnError) {
    CFileException error;
    const bool ok = CFile::Open(path, openFlags, &error);
    if (!ok && throwOnError) throw new CFileException(error);
    return ok;
}

void CZipFile::Adopt(Handle openHandle, const std::string& path) {
    if (IsOpen()) Abort();
    handle = openHandle;
    closeOnDelete = true;
    filePath = path;
}

void CZipFile::Close() {
    if (!IsClosed()) CFile::Close();
}

void CZipFile::Flush() {
    if (!IsClosed()) CFile::Flush();
}

uint64_t CZipFile::GetPosition() const { return CFile::GetPosition(); }
uint64_t CZipFile::Seek(int64_t offset, int origin) { return CFile::Seek(offset, origin); }
uint64_t CZipFile::GetLength() const { return CFile::GetLength(); }
void CZipFile::SetLength(uint64_t length) { CFile::SetLength(length); }
void CZipFile::SeekToBegin() { CFile::Seek(0, SeekBegin); }
void CZipFile::SeekToEnd() { CFile::Seek(0, SeekEnd); }
std::string CZipFile::GetFilePath() const { return CFile::GetFilePath(); }
uint32_t CZipFile::Read(void* buffer, uint32_t count) { return CFile::Read(buffer, count); }
void CZipFile::Write(const void* buffer, uint32_t count) { CFile::Write(buffer, count); }

// ---------------------------------------------------------------------------

CZipMemFile::CZipMemFile(const std::string& name) : name(name) {}

CZipMemFile::CZipMemFile(const void* data, uint32_t size, const std::string& name)
    : bytes(static_cast<const char*>(data), static_cast<const char*>(data) + size), name(name) {}

bool CZipMemFile::Open(const std::string& path, unsigned openFlags, bool) {
    if ((openFlags & OpenCreate) && !(openFlags & OpenNoTruncate)) bytes.clear();
    name = path;
    position = 0;
    closed = false;
    return true;
}

void CZipMemFile::Close() { closed = true; }

void CZipMemFile::CheckOpen() const {
    if (closed) throw new CFileException(CFileException::CauseInvalidFile, -1, name);
}

uint64_t CZipMemFile::GetPosition() const {
    CheckOpen();
    return position;
}

uint64_t CZipMemFile::Seek(int64_t offset, int origin) {
    CheckOpen();
    const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(position)
                                                       : static_cast<int64_t>(bytes.size());
    // Past the largest position a memory file can hold is as bad as before
    // its beginning (and the sum must not overflow).
    const int64_t limit = static_cast<int64_t>(bytes.max_size() / 2);
    if (origin < 0 || origin > 2 || offset < -base || offset > limit - base)
        throw new CFileException(CFileException::CauseBadSeek, -1, name);
    position = static_cast<uint64_t>(base + offset);
    return position;
}

uint64_t CZipMemFile::GetLength() const {
    CheckOpen();
    return bytes.size();
}

void CZipMemFile::SetLength(uint64_t length) {
    CheckOpen();
    if (length > bytes.max_size()) throw new CFileException(CFileException::CauseDiskFull, -1, name);
    bytes.resize(static_cast<size_t>(length));
}

std::string CZipMemFile::GetFilePath() const { return closed ? std::string() : name; }

uint32_t CZipMemFile::Read(void* buffer, uint32_t count) {
    CheckOpen();
    if (position >= bytes.size()) return 0;
    const size_t left = bytes.size() - static_cast<size_t>(position);
    const uint32_t n = count < left ? count : static_cast<uint32_t>(left);
    std::memcpy(buffer, bytes.data() + static_cast<size_t>(position), n);
    position += n;
    return n;
}

void CZipMemFile::Write(const void* buffer, uint32_t count) {
    CheckOpen();
    if (count == 0) return;
    const uint64_t end = position + count;
    if (end > bytes.max_size()) throw new CFileException(CFileException::CauseDiskFull, -1, name);
    if (end > bytes.size()) bytes.resize(static_cast<size_t>(end));
    std::memcpy(bytes.data() + static_cast<size_t>(position), buffer, count);
    position = end;
}
