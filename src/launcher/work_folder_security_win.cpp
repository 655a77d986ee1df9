#include "launcher/work_folder_security_win.h"

#include <sddl.h>

#include <string>
#include <vector>

#include "framework/scoped_win_handle.h"

DWORD GetPreferredTempPathA(DWORD size, char* buffer) {
    using TempPathFunction = DWORD(WINAPI*)(DWORD, LPSTR);
    // Looked up at run time: older systems lack it, and the stub must start there.
    static const TempPathFunction tempPath2 = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel ? reinterpret_cast<TempPathFunction>(
                            reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPath2A")))
                      : nullptr;
    }();
    return tempPath2 ? tempPath2(size, buffer) : GetTempPathA(size, buffer);
}

// The SID of the user the process runs as, in its text form; "" on failure.
static std::string CurrentUserSid() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return "";
    ScopedWinHandle token(rawToken);
    DWORD needed = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
    if (needed == 0) return "";
    std::vector<unsigned char> buffer(needed);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), needed, &needed)) return "";
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return "";
    std::string sid(text);
    LocalFree(text);
    return sid;
}

CPrivateFolderSecurity::CPrivateFolderSecurity() {
    const std::string user = CurrentUserSid();
    if (user.empty()) return;
    // P: protected (nothing inherited from the parent); OICI: files and
    // subfolders inherit each entry; FA: full access.
    const std::string sddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                              nullptr)) {
        descriptor_ = nullptr;
        return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

CPrivateFolderSecurity::~CPrivateFolderSecurity() {
    if (descriptor_) LocalFree(descriptor_);
}
