#include "framework/exception.h"

#include <cstring>

#include "framework/file.h"
#include "framework/file_exception.h"

const CRuntimeClass CObject::classCObject = {"CObject", nullptr};

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* other) const {
    for (const CRuntimeClass* c = this; c; c = c->baseClass)
        if (c == other) return true;
    return false;
}

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CObject::IsKindOf(const CRuntimeClass* cls) const {
    return GetRuntimeClass()->IsDerivedFrom(cls);
}

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CFile, CObject)

bool CException::GetErrorMessage(char* buffer, unsigned capacity, unsigned*) const {
    if (buffer && capacity) buffer[0] = '\0';
    return false;
}

std::string CException::GetErrorMessage() const {
    char buffer[1000];
    if (!GetErrorMessage(buffer, sizeof buffer, nullptr)) return std::string();
    return buffer;
}

void CException::Delete() {
    if (autoDelete) delete this;
}

namespace {

const char* const kCauseTexts[] = {
    "No error occurred.",
    "An unknown error occurred while accessing %1.",
    "%1 was not found.",
    "%1 contains an invalid path.",
    "%1 could not be opened because there are too many open files.",
    "Access to %1 was denied.",
    "An invalid file handle was associated with %1.",
    "%1 could not be removed because it is the current directory.",
    "%1 could not be created because the directory is full.",
    "Seek failed on %1",
    "A hardware I/O error was reported while accessing %1.",
    "A sharing violation occurred while accessing %1.",
    "A locking violation occurred while accessing %1.",
    "Disk full while accessing %1.",
    "An attempt was made to access %1 past its end.",
};

}  // namespace

std::string CFileException::MessageFor(int cause, const std::string& fileName) {
    const int count = static_cast<int>(sizeof kCauseTexts / sizeof kCauseTexts[0]);
    const char* text = kCauseTexts[(cause >= 0 && cause < count) ? cause : CauseGeneric];
    const std::string name = fileName.empty() ? std::string("an unnamed file") : fileName;
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == '1') {
            out += name;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

bool CFileException::GetErrorMessage(char* buffer, unsigned capacity, unsigned*) const {
    if (!buffer || capacity == 0) return false;
    const std::string text = MessageFor(cause, fileName);
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return true;
}

void CFileException::ThrowOsError(long osError, const std::string& fileName) {
    throw new CFileException(OsErrorToCause(osError), osError, fileName);
}
