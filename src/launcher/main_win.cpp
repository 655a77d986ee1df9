// Entry point of the Windows stub (GUI subsystem).
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/app.h"
#include "launcher/launcher_app.h"

// The one application object of the process.
static CLauncherApp theApp;

// Restricts DLL loading to the system folder before anything else can load
// one, so that no DLL planted beside the launcher file or in the work folder
// is ever loaded into the launcher. Looked up at run time: systems without
// the update that brings the function keep their default search order.
static void LoadDllsFromSystemFolderOnly() {
    using SetDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDirectories = reinterpret_cast<SetDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories) setDirectories(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LoadDllsFromSystemFolderOnly();
    std::vector<std::string> arguments(__argv, __argv + __argc);
    return RunApplication(std::move(arguments));
}
