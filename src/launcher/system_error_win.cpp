// System error texts on Windows: GetLastError and the system message table.
#include "launcher/system_error.h"

#include <windows.h>

unsigned long LastSystemError() { return GetLastError(); }

std::string SystemErrorMessage(unsigned long error) {
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                       nullptr);
    std::string result = (length && text) ? std::string(text, length) : "Error " + std::to_string(error) + ".";
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result;
}
