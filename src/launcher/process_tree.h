// Following every process that a started program starts, so that the
// launcher can wait until the whole tree has ended before it deletes the
// work folder.
//
// What cannot be followed: on Windows, processes that leave the job
// (started with CREATE_BREAKAWAY_FROM_JOB, which the job allows so that such
// programs keep working) and processes started on the program's behalf by
// another process (services through the service manager, msiexec's server
// part, COM servers, the task scheduler). On Linux, processes started by
// another process than a descendant (systemd units, D-Bus activation, at or
// cron jobs) and descendants of a process that made itself a subreaper in
// turn. A daemon that keeps running is waited for as long as it runs.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "framework/scoped_win_handle.h"

// A job object with a completion port. The program is created suspended,
// taken into the job and only then resumed, so that every process it starts
// is in the job too.
class CProcessTreeJob {
public:
    // Creates the job and its port; Ready() is false when the system refuses.
    CProcessTreeJob();
    bool Ready() const { return job_.IsValid() && port_.IsValid(); }
    // Takes a (suspended) process into the job. Fails when the system refuses,
    // for example a launcher that runs in a job of its own on a system that
    // does not nest jobs; the caller then waits for the one process only.
    bool Adopt(HANDLE process);
    // Serves the message queue as the launch wait does until no process of
    // the job is left: the port reports the active-process count reaching
    // zero; the job's own count is checked as well, because the system does
    // not promise to deliver every port message.
    void WaitUntilEmpty();

private:
    bool Empty() const;

    ScopedWinHandle job_;
    ScopedWinHandle port_;
};

// Takes every message off the queue and dispatches it, dropping mouse moves
// and left-button clicks, as the launch wait does.
void DispatchWaitMessages();
#else
// Makes the launcher the subreaper of its descendants (PR_SET_CHILD_SUBREAPER):
// a process whose parent ends is re-parented to the launcher instead of to
// init. Returns false when the system refuses.
bool BecomeChildSubreaper();
// Waits for every child of the launcher (the re-parented ones included) until
// none is left, then stops being a subreaper.
void ReapAllChildren();
#endif
