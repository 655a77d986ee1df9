// Program launch on Windows: CreateProcessA, then a wait that keeps serving
// the launcher's message queue.
#include "launcher/launch.h"

#include <windows.h>

#include "launcher/argument_text.h"
#include "launcher/batch_command_line.h"
#include "launcher/process_tree.h"

static WORD ShowCommandFor(int showMode) {
    switch (showMode) {
    case LaunchShowNormal: return SW_SHOW;
    case LaunchShowMinimized: return SW_MINIMIZE;
    case LaunchShowMaximized: return SW_MAXIMIZE;
    default: return SW_HIDE;
    }
}

unsigned long LaunchCommandLine(const std::string& program, const std::string& argumentText,
                                const std::string& workingFolder, int wait, int showMode, bool waitTree,
                                int* exitCode) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = ShowCommandFor(showMode);

    const std::string line = BuildCommandLine(program, argumentText);
    if (line.size() + 1 > MaxCommandLineLength) return ERROR_FILENAME_EXCED_RANGE;
    std::string buffer = line;  // CreateProcessA may write into the line

    // Following the tree: created suspended, so that it is in the job before
    // it can start anything.
    const bool followTree = wait && waitTree;
    CProcessTreeJob tree;
    const DWORD creationFlags = NORMAL_PRIORITY_CLASS | (followTree ? CREATE_SUSPENDED : 0);

    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, FALSE, creationFlags, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process))
        return GetLastError();
    const bool inJob = followTree && tree.Adopt(process.hProcess);
    if (followTree) ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    if (wait) {
        const DWORD inputMask = 0xFF;  // keys, mouse, posted, timer, paint, sent, hot keys
        while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, inputMask) == WAIT_OBJECT_0 + 1)
            DispatchWaitMessages();
        if (inJob) tree.WaitUntilEmpty();
        DWORD code = 0;
        if (exitCode && GetExitCodeProcess(process.hProcess, &code)) *exitCode = static_cast<int>(code);
    }
    CloseHandle(process.hProcess);
    return 0;
}

unsigned long LaunchProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& workingFolder, int wait, int showMode, bool waitTree,
                            int* exitCode) {
    if (!IsBatchProgram(program))
        return LaunchCommandLine(program, BuildArgumentText(arguments), workingFolder, wait, showMode, waitTree,
                                 exitCode);
    // A batch file runs in cmd.exe, started here from the system folder with
    // arguments it reads as text only; anything else is refused.
    if (!PassesToBatchSafely(program)) return ERROR_BAD_ARGUMENTS;
    for (const std::string& argument : arguments)
        if (!PassesToBatchSafely(argument)) return ERROR_BAD_ARGUMENTS;
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) return GetLastError();
    const std::string interpreter = std::string(system, length) + "\\cmd.exe";
    return LaunchCommandLine(interpreter, BatchArgumentText(program, arguments), workingFolder, wait, showMode,
                             waitTree, exitCode);
}
