// The application object of our framework: one per process, found by the
// entry point, which calls its start-up operation once.
#pragma once

#include <string>
#include <vector>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up. Returning false ends the process without a message loop.
    virtual bool InitInstance();
    // Idle processing: called with 0, 1, 2, ... while it returns true.
    // The default has no idle work.
    virtual bool OnIdle(long count);

    // The process's arguments as it received them (argument 0 included),
    // quotes already removed by the usual command-line parsing.
    const std::vector<std::string>& Arguments() const { return arguments; }
    void SetArguments(std::vector<std::string> args) { arguments = std::move(args); }

    // The module file name without folder and extension: the caption of the
    // framework's message boxes.
    std::string AppName() const;

    CWnd* mainWindow = nullptr;
    // The process's exit code when start-up returns false.
    int exitCode = 0;

    // The one application object, or null before it exists.
    static CWinApp* Current();

private:
    std::vector<std::string> arguments;
};

// The module file name without folder and extension ("" when the system
// cannot tell it); what AppName() answers.
std::string ModuleBaseName();
// The same for a given path: folder and last extension removed.
std::string ModuleBaseNameFromPath(const std::string& path);

// Runs the application object's start-up with the given arguments; the
// platform entry point calls this and ends the process with its result.
// When start-up returns true, the message loop runs until the quit request
// and its exit code is returned; otherwise the result is the application
// object's exitCode.
int RunApplication(std::vector<std::string> arguments);
