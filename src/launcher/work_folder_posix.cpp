// Work folder on Linux: $TMPDIR (else /tmp) and mkdir with mode 0700.
#include "launcher/work_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace WorkFolderFs {

const char Separator = '/';

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

CreateResult CreateFolderExclusive(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) return CreateResult::Created;
    return errno == EEXIST ? CreateResult::NameTaken : CreateResult::Failed;
}

}  // namespace WorkFolderFs
