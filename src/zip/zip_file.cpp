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

uint32_t CZipFile::GetPosition() const { return CFile::GetPosition(); }
int32_t CZipFile::Seek(int32_t offset, int origin) { return CFile::Seek(offset, origin); }
uint32_t CZipFile::GetLength() const { return CFile::GetLength(); }
void CZipFile::SetLength(uint32_t length) { CFile::SetLength(length); }
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

uint32_t CZipMemFile::GetPosition() const {
    CheckOpen();
    return position;
}

int32_t CZipMemFile::Seek(int32_t offset, int origin) {
    CheckOpen();
    long long base = origin == 0 ? 0 : origin == 1 ? position : static_cast<long long>(bytes.size());
    long long target = origin == 0 ? static_cast<long long>(static_cast<uint32_t>(offset))
                                   : base + offset;
    if (origin < 0 || origin > 2 || target < 0 || target > 0xFFFFFFFFll)
        throw new CFileException(CFileException::CauseBadSeek, -1, name);
    position = static_cast<uint32_t>(target);
    return static_cast<int32_t>(position);
}

uint32_t CZipMemFile::GetLength() const {
    CheckOpen();
    return static_cast<uint32_t>(bytes.size());
}

void CZipMemFile::SetLength(uint32_t length) {
    CheckOpen();
    bytes.resize(length);
}

std::string CZipMemFile::GetFilePath() const { return closed ? std::string() : name; }

uint32_t CZipMemFile::Read(void* buffer, uint32_t count) {
    CheckOpen();
    if (position >= bytes.size()) return 0;
    const size_t left = bytes.size() - position;
    const uint32_t n = count < left ? count : static_cast<uint32_t>(left);
    std::memcpy(buffer, bytes.data() + position, n);
    position += n;
    return n;
}

void CZipMemFile::Write(const void* buffer, uint32_t count) {
    CheckOpen();
    if (count == 0) return;
    const unsigned long long end = static_cast<unsigned long long>(position) + count;
    if (end > 0xFFFFFFFFull) throw new CFileException(CFileException::CauseDiskFull, -1, name);
    if (end > bytes.size()) bytes.resize(static_cast<size_t>(end));
    std::memcpy(bytes.data() + position, buffer, count);
    position = static_cast<uint32_t>(end);
}
