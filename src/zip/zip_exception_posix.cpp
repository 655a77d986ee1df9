// System texts on Linux: the last system error is errno, its text the C
// library's.
#include <cerrno>
#include <cstring>

#include "zip/zip_exception.h"

std::string CZipException::SystemErrorText() {
    const int error = errno;
    if (error != 0) {
        char buffer[256];
        const char* text = strerror_r(error, buffer, sizeof buffer);  // GNU form
        return text ? std::string(text) : std::string();
    }
    return MessageForCode(ErrGeneric, true);
}
