// Work folder on Windows: GetTempPathA and CreateDirectoryA.
#include "launcher/work_folder.h"

#include <windows.h>

#include "launcher/work_folder_security_win.h"

namespace WorkFolderFs {

const char Separator = '\\';

std::string TemporaryFolder() {
    char buffer[260];
    DWORD length = GetPreferredTempPathA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return "";
    return std::string(buffer, length);
}

CreateResult CreateFolderExclusive(const std::string& path) {
    // Never a folder with the parent's rules: without the private DACL, fail.
    CPrivateFolderSecurity security;
    if (!security.Attributes()) return CreateResult::Failed;
    if (CreateDirectoryA(path.c_str(), security.Attributes())) return CreateResult::Created;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return CreateResult::NameTaken;
    return CreateResult::Failed;
}

}  // namespace WorkFolderFs
