// Program launch on Windows: CreateProcessA, then a wait that keeps serving
// the launcher's message queue.
#include "launcher/launch.h"

#include <windows.h>

#include "launcher/argument_text.h"

static WORD ShowCommandFor(int showMode) {
    switch (showMode) {
    case LaunchShowNormal: return SW_SHOW;
    case LaunchShowMinimized: return SW_MINIMIZE;
    case LaunchShowMaximized: return SW_MAXIMIZE;
    default: return SW_HIDE;
    }
}

unsigned long LaunchCommandLine(const std::string& program, const std::string& argumentText,
                                const std::string& workingFolder, int wait, int showMode) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = ShowCommandFor(showMode);

    const std::string line = BuildCommandLine(program, argumentText);
    if (line.size() + 1 > MaxCommandLineLength) return ERROR_FILENAME_EXCED_RANGE;
    std::string buffer = line;  // CreateProcessA may write into the line

    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(nullptr, &buffer[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process))
        return GetLastError();
    CloseHandle(process.hThread);

    if (wait) {
        const DWORD inputMask = 0xFF;  // keys, mouse, posted, timer, paint, sent, hot keys
        while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, inputMask) == WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_MOUSEMOVE || message.message == WM_LBUTTONDOWN ||
                    message.message == WM_LBUTTONUP)
                    continue;
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    CloseHandle(process.hProcess);
    return 0;
}

unsigned long LaunchProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& workingFolder, int wait, int showMode) {
    return LaunchCommandLine(program, BuildArgumentText(arguments), workingFolder, wait, showMode);
}
