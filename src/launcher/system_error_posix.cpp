// System error texts on Linux: errno and strerror.
#include "launcher/system_error.h"

#include <cerrno>
#include <cstring>

unsigned long LastSystemError() { return static_cast<unsigned long>(errno); }

std::string SystemErrorMessage(unsigned long error) { return std::strerror(static_cast<int>(error)); }
