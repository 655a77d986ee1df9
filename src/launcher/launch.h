// Starting the configured program from the work folder and waiting for it.
#pragma once

#include <string>
#include <vector>

// Longest command line the system takes, terminating zero included.
constexpr size_t MaxCommandLineLength = 32767;

// Show modes: 0 shown normally, 1 minimised, 2 maximised, other values hidden
// (Windows only; Linux programs have no window to show).
constexpr int LaunchShowNormal = 0;
constexpr int LaunchShowMinimized = 1;
constexpr int LaunchShowMaximized = 2;
constexpr int LaunchHidden = 7;

// Starts program (full path) with the given arguments (the program receives
// exactly these, in order, after its own name) and the working folder as its
// current folder ("" keeps the launcher's). With wait non-zero, returns only
// after the process has ended; on Windows the launcher's message queue is
// served meanwhile (mouse moves and left-button clicks are dropped).
// Returns 0 once the program was started, else the system's error code
// (Windows: GetLastError, e.g. ERROR_FILE_NOT_FOUND, or
// ERROR_FILENAME_EXCED_RANGE for a command line beyond MaxCommandLineLength,
// which is refused, never cut; Linux: the errno value, e.g. ENOENT).
//
// With waitTree (and wait) set, the launch returns only after the program
// and every process started from it have ended (see process_tree.h for what
// cannot be followed). With exitCode given and wait set, it receives the
// program's exit code (the first process's, not its descendants'): on Linux
// the 8-bit exit status, or 128 plus the signal number for a program ended by
// a signal.
//
// The extraction run passes its forwarded arguments followed by
// "SFXSOURCE:<launcher path>" as the last element.
//
// Windows: the argument text is BuildArgumentText(arguments) and the launch
// is LaunchCommandLine; a batch file is started through the system folder's
// cmd.exe with BatchArgumentText (batch_command_line.h), and a program path
// or argument that cmd.exe would not read as plain text gives
// ERROR_BAD_ARGUMENTS without a start. Linux: posix_spawn with the argument vector as it is
// (no quoting), the working folder entered in the child, waitpid; a program
// file without its owner-execute bit (archives made on Windows carry no
// modes) gets that bit added before the start. The child starts with the
// default handling of the usual terminal signals and no blocked signals;
// while the launcher waits for it, the stop signals of the run are passed on
// to it (ForwardStopSignalsTo, run_stop.h).
unsigned long LaunchProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& workingFolder, int wait, int showMode, bool waitTree = false,
                            int* exitCode = nullptr);

#ifdef _WIN32
// The Windows launch with a ready argument text ("" for none): the command
// line is BuildCommandLine(program, argumentText), built at the length it
// needs; the process is created with the show mode, normal priority, no
// inherited handles and the launcher's environment.
unsigned long LaunchCommandLine(const std::string& program, const std::string& argumentText,
                                const std::string& workingFolder, int wait, int showMode, bool waitTree = false,
                                int* exitCode = nullptr);
#endif
