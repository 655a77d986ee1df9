// CFile on Win32 handles (CreateFileA and friends).
#include "framework/file.h"

#include <windows.h>

int CFileException::OsErrorToCause(long osError) {
    switch (static_cast<DWORD>(osError)) {
    case NO_ERROR: return CauseNone;
    case ERROR_FILE_NOT_FOUND: case ERROR_NO_MORE_FILES: case ERROR_DISK_CHANGE:
        return CauseFileNotFound;
    case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: case ERROR_NOT_SAME_DEVICE:
    case ERROR_WRONG_DISK: case ERROR_DUP_NAME: case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST: case ERROR_BAD_NET_NAME: case ERROR_SHARING_PAUSED:
    case ERROR_ALREADY_ASSIGNED: case ERROR_BUFFER_OVERFLOW: case ERROR_INVALID_NAME:
    case ERROR_INVALID_LEVEL: case ERROR_NO_VOLUME_LABEL: case ERROR_DIR_NOT_ROOT:
    case ERROR_LABEL_TOO_LONG: case ERROR_BAD_PATHNAME: case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_META_EXPANSION_TOO_LONG: case ERROR_DIRECTORY:
        return CauseBadPath;
    case ERROR_TOO_MANY_OPEN_FILES: case ERROR_SHARING_BUFFER_EXCEEDED:
    case ERROR_TOO_MANY_NAMES: case ERROR_NO_MORE_SEARCH_HANDLES:
        return CauseTooManyOpenFiles;
    case ERROR_ACCESS_DENIED: case ERROR_INVALID_ACCESS: case ERROR_WRITE_PROTECT:
    case ERROR_WRITE_FAULT: case ERROR_NETWORK_BUSY: case ERROR_BAD_NET_RESP:
    case ERROR_NETNAME_DELETED: case ERROR_NETWORK_ACCESS_DENIED: case ERROR_REQ_NOT_ACCEP:
    case ERROR_FILE_EXISTS: case ERROR_CANNOT_MAKE: case ERROR_INVALID_PASSWORD:
    case ERROR_BUSY: case ERROR_ALREADY_EXISTS: case ERROR_SWAPERROR:
        return CauseAccessDenied;
    case ERROR_INVALID_HANDLE: case ERROR_BAD_FORMAT: case ERROR_NOT_DOS_DISK:
    case ERROR_BAD_REM_ADAP: case ERROR_BAD_DEV_TYPE: case ERROR_INVALID_TARGET_HANDLE:
    case ERROR_INVALID_ORDINAL: case ERROR_INVALID_EXE_SIGNATURE: case ERROR_BAD_EXE_FORMAT:
        return CauseInvalidFile;
    case ERROR_CURRENT_DIRECTORY: case ERROR_DIR_NOT_EMPTY:
        return CauseRemoveCurrentDir;
    case ERROR_NO_SPOOL_SPACE: return CauseDirectoryFull;
    case ERROR_BAD_LENGTH: case ERROR_SEEK: case ERROR_SECTOR_NOT_FOUND: case ERROR_READ_FAULT:
    case ERROR_NEGATIVE_SEEK: case ERROR_SEEK_ON_DEVICE:
        return CauseBadSeek;
    case ERROR_BAD_UNIT: case ERROR_NOT_READY: case ERROR_BAD_COMMAND: case ERROR_CRC:
    case ERROR_ADAP_HDW_ERR: case ERROR_UNEXP_NET_ERR: case ERROR_NET_WRITE_FAULT:
    case ERROR_INVALID_CATEGORY: case ERROR_OPERATION_ABORTED: case ERROR_IO_INCOMPLETE:
    case ERROR_IO_PENDING:
        return CauseHardIO;
    case ERROR_SHARING_VIOLATION: return CauseSharingViolation;
    case ERROR_LOCK_VIOLATION: case ERROR_DRIVE_LOCKED: case ERROR_LOCK_FAILED:
        return CauseLockViolation;
    case ERROR_HANDLE_DISK_FULL: case ERROR_DISK_FULL: return CauseDiskFull;
    case ERROR_HANDLE_EOF: return CauseEndOfFile;
    default: return CauseGeneric;
    }
}

namespace {

inline HANDLE H(CFile::Handle h) { return reinterpret_cast<HANDLE>(h); }

std::string FullPathOf(const std::string& path) {
    char small[MAX_PATH];
    char* part = nullptr;
    DWORD n = GetFullPathNameA(path.c_str(), sizeof small, small, &part);
    if (n == 0) return path;
    if (n < sizeof small) return std::string(small, n);
    std::string big(n, '\0');
    DWORD m = GetFullPathNameA(path.c_str(), n, &big[0], &part);
    if (m == 0 || m >= n) return path;
    big.resize(m);
    return big;
}

}  // namespace

void CFile::CheckOpen() const {
    if (!IsOpen()) throw new CFileException(CFileException::CauseInvalidFile, ERROR_INVALID_HANDLE, filePath);
}

CFile::~CFile() {
    if (closeOnDelete) Abort();
}

bool CFile::Open(const std::string& path, unsigned openFlags, CFileException* error) {
    if (IsOpen()) Abort();
    DWORD access = GENERIC_READ;
    if (openFlags & OpenReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    else if (openFlags & OpenWrite) access = GENERIC_WRITE;
    DWORD share = (openFlags & ShareDenyWrite) ? FILE_SHARE_READ : 0;
    DWORD creation = OPEN_EXISTING;
    if (openFlags & OpenCreate) creation = (openFlags & OpenNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    HANDLE h = CreateFileA(path.c_str(), access, share, &sa, creation, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (error) {
            error->cause = CFileException::OsErrorToCause(static_cast<long>(err));
            error->osError = static_cast<long>(err);
            error->fileName = path;
        }
        SetLastError(err);
        return false;
    }
    handle = reinterpret_cast<Handle>(h);
    closeOnDelete = true;
    filePath = FullPathOf(path);
    return true;
}

void CFile::ThrowLastError() const {
    CFileException::ThrowOsError(static_cast<long>(GetLastError()), filePath);
}

void CFile::Close() {
    if (!IsOpen()) return;
    HANDLE h = H(handle);
    handle = InvalidHandle;
    closeOnDelete = false;
    std::string path;
    path.swap(filePath);
    if (!CloseHandle(h)) CFileException::ThrowOsError(static_cast<long>(GetLastError()), path);
}

void CFile::Abort() {
    if (!IsOpen()) return;
    CloseHandle(H(handle));
    handle = InvalidHandle;
    closeOnDelete = false;
    filePath.clear();
}

void CFile::Flush() {
    if (!IsOpen()) return;
    if (!FlushFileBuffers(H(handle))) ThrowLastError();
}

uint64_t CFile::GetPosition() const {
    CheckOpen();
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(H(handle), zero, &pos, FILE_CURRENT)) ThrowLastError();
    return static_cast<uint64_t>(pos.QuadPart);
}

uint64_t CFile::Seek(int64_t offset, int origin) {
    CheckOpen();
    LARGE_INTEGER off, pos;
    off.QuadPart = static_cast<LONGLONG>(offset);
    DWORD method = origin == SeekBegin ? FILE_BEGIN : origin == SeekCurrent ? FILE_CURRENT : FILE_END;
    if (origin < SeekBegin || origin > SeekEnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ThrowLastError();
    }
    if (!SetFilePointerEx(H(handle), off, &pos, method)) ThrowLastError();
    return static_cast<uint64_t>(pos.QuadPart);
}

uint64_t CFile::GetLength() const {
    CheckOpen();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(H(handle), &size)) ThrowLastError();
    return static_cast<uint64_t>(size.QuadPart);
}

void CFile::SetLength(uint64_t length) {
    CheckOpen();
    LARGE_INTEGER zero, here, target;
    zero.QuadPart = 0;
    target.QuadPart = length;
    if (!SetFilePointerEx(H(handle), zero, &here, FILE_CURRENT)) ThrowLastError();
    if (!SetFilePointerEx(H(handle), target, nullptr, FILE_BEGIN) || !SetEndOfFile(H(handle)))
        ThrowLastError();
    // The position stays where it was, as on the other platform.
    if (!SetFilePointerEx(H(handle), here, nullptr, FILE_BEGIN)) ThrowLastError();
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
    CheckOpen();
    char* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!ReadFile(H(handle), out + done, count - done, &n, nullptr)) {
            if (GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_BROKEN_PIPE) break;
            ThrowLastError();
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

void CFile::Write(const void* buffer, uint32_t count) {
    CheckOpen();
    const char* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!WriteFile(H(handle), in + done, count - done, &n, nullptr)) ThrowLastError();
        if (n == 0) {
            SetLastError(ERROR_DISK_FULL);
            ThrowLastError();
        }
        done += n;
    }
}
