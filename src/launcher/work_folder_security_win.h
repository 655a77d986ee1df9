// Windows only: where the work folder goes and who may enter it.
//
// The temporary folder of a program running as SYSTEM is C:\Windows\Temp,
// where ordinary users may create files inside other users' subfolders; a
// work folder that inherited those rules would let them plant a DLL beside
// the program or swap a subfolder for a junction. The work folder therefore
// gets a protected DACL of its own: full access for the user running the
// launcher, SYSTEM and Administrators, inherited by everything created
// inside, nothing inherited from the parent.
#pragma once

#include <windows.h>

// GetTempPath2A where the system has it (it answers a folder that only
// SYSTEM may use when running as SYSTEM), else GetTempPathA; same contract.
DWORD GetPreferredTempPathA(DWORD size, char* buffer);

// Security attributes carrying the protected DACL described above.
class CPrivateFolderSecurity {
public:
    CPrivateFolderSecurity();
    ~CPrivateFolderSecurity();
    CPrivateFolderSecurity(const CPrivateFolderSecurity&) = delete;
    CPrivateFolderSecurity& operator=(const CPrivateFolderSecurity&) = delete;

    // For CreateDirectoryA; null when the descriptor could not be built.
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;  // LocalAlloc'ed by the SDDL conversion
    SECURITY_ATTRIBUTES attributes_ = {};
};
