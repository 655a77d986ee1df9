// The archive reader's exception. Everything the reader detects itself
// (damage, a wrong password, remove/rename failures, zlib failures, aborts,
// multi-volume limits) is thrown as a heap-allocated CZipException pointer;
// the catcher owns it and disposes of it with Delete(). Plain file failures
// pass through as CFileException.
//
// The message is not stored: it is composed from the code when asked for,
// partly from fixed texts, partly from the system's text for the thread's
// last error, read at that moment. Ask for the description before making
// other system calls.
#pragma once

#include <string>

#include "framework/exception.h"

// Archive error codes.
enum ZipErrorCode {
    ErrGeneric = 100,
    ErrDamagedArchive = 101,
    ErrCrcMismatch = 102,
    ErrNoDiskCallback = 103,
    ErrDiskChangeAborted = 104,
    ErrAborted = 105,
    ErrAbortedSafely = 106,
    ErrNotRemovable = 107,
    ErrVolumeLimit = 108,
    ErrNameTooLong = 109,
    ErrWrongPassword = 110,
    ErrFolderWithData = 111,
    ErrInternal = 112,
    ErrRemoveFile = 113,
    ErrRenameFile = 114,
    ErrPlatformUnsupported = 115,
    ErrNoCentralDirectory = 116,
    ErrUnsafePath = 117,  // an entry's target would leave the target folder
    ErrBadEntryName = 118,  // an entry's name is not UTF-8 this system can use
    ErrSpecialMember = 119,  // a link, device or FIFO in a solid payload
    // zlib results
    ErrZlibStreamEnd = 500,
    ErrZlibNeedDict = 501,
    ErrZlibSystem = 502,
    ErrZlibStream = 503,
    ErrZlibData = 504,
    ErrZlibMemory = 505,
    ErrZlibBuffer = 506,
    ErrZlibVersion = 507,
};

class CZipException : public CException {
    DECLARE_DYNAMIC(CZipException)
public:
    // `fileName` may be null: the field is then empty.
    explicit CZipException(int errorCode = ErrGeneric, const char* fileName = nullptr);
    CZipException(int errorCode, const std::string& fileName);
    ~CZipException() override = default;

    // MessageForCode(errorCode, false), followed by " (detail)" when the
    // thrower said more about the cause.
    std::string GetDescription() const;

    // Copies the description into `buffer`: false for a null buffer, a
    // capacity of 0 or an empty description; otherwise copies at most
    // capacity - 1 bytes, adds a terminating zero and returns true.
    bool CopyDescription(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const;
    // The framework's message copy: the description.
    bool GetErrorMessage(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const override;
    using CException::GetErrorMessage;

    // zlib result -> archive code: 1..2 -> 500..501, -1..-6 -> 502..507,
    // anything else (Z_OK included) -> 100.
    static int ZlibResultToCode(int result);

    // The text for a code: a fixed text; 113/114 with the system text in
    // parentheses; 502 through the current errno; any other code "Unknown
    // error" when `noSystemFallback`, else SystemErrorText().
    static std::string MessageForCode(int code, bool noSystemFallback);

    // The system's text for the thread's last error. Windows: GetLastError
    // and FormatMessageA (text unchanged, empty if the system has none).
    // Linux: errno and the C library's text. When the last error is 0:
    // MessageForCode(errno or 100, true).
    static std::string SystemErrorText();

    std::string fileName;  // never null; empty when the thrower had none
    int errorCode;
    // What the code's own text leaves out, such as which feature an entry
    // needs ("compression method 14 is not supported"); usually empty.
    std::string detail;
};

// Creates and throws a CZipException; `fileName` may be null.
// Whether `error` is the archive error of a stop that the progress sink asked
// for (105, 106), not a failure.
bool IsAbortError(CException* error);
[[noreturn]] void ThrowZipError(int errorCode, const char* fileName = nullptr);
[[noreturn]] void ThrowZipError(int errorCode, const std::string& fileName);
[[noreturn]] void ThrowZipError(int errorCode, const std::string& fileName, const std::string& detail);
