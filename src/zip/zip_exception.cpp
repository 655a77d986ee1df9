#include "zip/zip_exception.h"

#include <cerrno>
#include <cstring>

IMPLEMENT_DYNAMIC(CZipException, CException)

CZipException::CZipException(int errorCode, const char* fileName)
    : CException(true), fileName(fileName ? fileName : ""), errorCode(errorCode) {}

CZipException::CZipException(int errorCode, const std::string& fileName)
    : CException(true), fileName(fileName), errorCode(errorCode) {}

std::string CZipException::GetDescription() const {
    const std::string text = MessageForCode(errorCode, false);
    return detail.empty() ? text : text + " (" + detail + ")";
}

bool CZipException::CopyDescription(char* buffer, unsigned capacity, unsigned*) const {
    if (!buffer || capacity == 0) return false;
    const std::string text = GetDescription();
    if (text.empty()) return false;
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return true;
}

bool CZipException::GetErrorMessage(char* buffer, unsigned capacity, unsigned* helpContext) const {
    return CopyDescription(buffer, capacity, helpContext);
}

int CZipException::ZlibResultToCode(int result) {
    switch (result) {
    case 1: return ErrZlibStreamEnd;
    case 2: return ErrZlibNeedDict;
    case -1: return ErrZlibSystem;
    case -2: return ErrZlibStream;
    case -3: return ErrZlibData;
    case -4: return ErrZlibMemory;
    case -5: return ErrZlibBuffer;
    case -6: return ErrZlibVersion;
    default: return ErrGeneric;
    }
}

namespace {

// Fixed texts: archive codes and the C library's error numbers.
const char* FixedText(int code) {
    switch (code) {
    case ErrDamagedArchive: return "Damaged or not a zip file";
    case ErrCrcMismatch: return "Crc mismatched";
    case ErrNoDiskCallback: return "No disk-spanning callback functor set";
    case ErrDiskChangeAborted: return "Disk change aborted";
    case ErrAborted: return "Action aborted";
    case ErrAbortedSafely: return "Action aborted safely";
    case ErrNotRemovable:
        return "The device selected for the disk spanning archive is non removable";
    case ErrVolumeLimit: return "Limit of the maximum volumes reached (999)";
    case ErrNameTooLong: return "The filename of the file being added to the archive is too long";
    case ErrWrongPassword: return "Incorrect password set for the file being decrypted";
    case ErrFolderWithData: return "During testing found the directory with the size greater than 0";
    case ErrInternal: return "Internal error";
    case ErrPlatformUnsupported: return "Cannot create the file for the specified platform";
    case ErrNoCentralDirectory:
        return "The central directory was not found in the archive (or you were trying to "
               "open not the last disk of a multi-disk archive)";
    case ErrUnsafePath: return "Entry path leaves the target folder";
    case ErrBadEntryName: return "Entry name cannot be decoded on this system";
    case ErrSpecialMember: return "Links, devices and other special entries are not extracted";
    case ErrZlibStreamEnd: return "Zlib Library error (end of stream)";
    case ErrZlibStream: return "Zlib library error (stream error)";
    case ErrZlibData: return "Zlib library error (data error)";
    case ErrZlibMemory: return "Not enough memory";
    case ErrZlibBuffer: return "Zlib library error (buffer error)";
    case ErrZlibVersion: return "Zlib library error (version error)";
    // errno numbers
    case 1: return "Not super-user";
    case 2: return "No such file or directory";
    case 4: return "Interrupted system call";
    case 5: return "I/O error";
    case 6: return "No such device or address";
    case 9: return "Bad file number";
    case 12: return "Not enough space";
    case 13: return "Permission denied";
    case 14: return "Bad address";
    case 17: return "File exists";
    case 18: return "Cross-device link";
    case 19: return "No such device";
    case 20: return "Not a directory";
    case 21: return "Is a directory";
    case 22: return "Invalid argument";
    case 23: return "File table overflow";
    case 24: return "Too many open files";
    case 27: return "File too large";
    case 28: return "No space left on device";
    case 29: return "Illegal seek";
    case 30: return "Read-only file system";
    default: return nullptr;
    }
}

const char kUnknownError[] = "Unknown error";

}  // namespace

std::string CZipException::MessageForCode(int code, bool noSystemFallback) {
    if (code == ErrZlibSystem) {
        int e = errno;
        if (e == ErrZlibSystem) e = ErrGeneric;
        // The fallback choice is passed on, so that a text asked for without
        // the system fallback can never come back here endlessly.
        return MessageForCode(e, noSystemFallback);
    }
    if (code == ErrRemoveFile || code == ErrRenameFile) {
        const std::string system = noSystemFallback ? std::string(kUnknownError) : SystemErrorText();
        return std::string(code == ErrRemoveFile ? "Error while removing a file"
                                                 : "Error while renaming a file") +
               " (" + system + ")";
    }
    if (const char* text = FixedText(code)) return text;
    return noSystemFallback ? std::string(kUnknownError) : SystemErrorText();
}

void ThrowZipError(int errorCode, const char* fileName) {
    throw new CZipException(errorCode, fileName);
}

void ThrowZipError(int errorCode, const std::string& fileName) {
    throw new CZipException(errorCode, fileName);
}

void ThrowZipError(int errorCode, const std::string& fileName, const std::string& detail) {
    CZipException* error = new CZipException(errorCode, fileName);
    error->detail = detail;
    throw error;
}

bool IsAbortError(CException* error) {
    if (!error->IsKindOf(RUNTIME_CLASS(CZipException))) return false;
    const int code = static_cast<CZipException*>(error)->errorCode;
    return code == ErrAborted || code == ErrAbortedSafely;
}
