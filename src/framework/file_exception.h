// The framework's file exception: thrown (as a pointer, see exception.h) by
// CFile when an operating-system file call fails.
#pragma once

#include <string>

#include "framework/exception.h"

class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    // Causes; the message texts follow these numbers.
    enum Cause {
        CauseNone = 0,
        CauseGeneric = 1,
        CauseFileNotFound = 2,
        CauseBadPath = 3,
        CauseTooManyOpenFiles = 4,
        CauseAccessDenied = 5,
        CauseInvalidFile = 6,
        CauseRemoveCurrentDir = 7,
        CauseDirectoryFull = 8,
        CauseBadSeek = 9,
        CauseHardIO = 10,
        CauseSharingViolation = 11,
        CauseLockViolation = 12,
        CauseDiskFull = 13,
        CauseEndOfFile = 14,
    };

    explicit CFileException(int cause = CauseNone, long osError = -1,
                            const std::string& fileName = std::string())
        : cause(cause), osError(osError), fileName(fileName) {}

    // Fills `buffer` with the text for `cause`, "%1" replaced by the file
    // name (or "an unnamed file"), cut to capacity - 1 characters.
    bool GetErrorMessage(char* buffer, unsigned capacity,
                         unsigned* helpContext = nullptr) const override;
    using CException::GetErrorMessage;

    // The full text for a cause and file name (uncut). Unknown causes get the
    // text of CauseGeneric.
    static std::string MessageFor(int cause, const std::string& fileName);

    // The cause for an operating-system error number (GetLastError() on
    // Windows, errno on Linux).
    static int OsErrorToCause(long osError);

    // Throws a new CFileException for `osError` and `fileName`.
    [[noreturn]] static void ThrowOsError(long osError, const std::string& fileName);

    int cause;
    long osError;          // the system's error number, -1 when none
    std::string fileName;  // empty when unnamed
};
