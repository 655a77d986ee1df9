// System texts on Windows: GetLastError and the system message table.
#include <windows.h>

#include <cerrno>

#include "zip/zip_exception.h"

std::string CZipException::SystemErrorText() {
    const DWORD error = GetLastError();
    if (error != 0) {
        char* text = nullptr;
        const DWORD n = FormatMessageA(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
            reinterpret_cast<LPSTR>(&text), 0, nullptr);
        std::string result = (n && text) ? std::string(text, n) : std::string();
        if (text) LocalFree(text);
        return result;
    }
    const int e = errno;
    return MessageForCode(e != 0 ? e : ErrGeneric, true);
}
