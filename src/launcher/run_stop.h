// Requests from outside that stop the run: on Linux the signals SIGINT (the
// cancel request) and SIGTERM, SIGHUP, SIGQUIT (the launcher is to end); on
// Windows the end of the session (log-off, shutdown).
//
// While a CRunStopWatch lives, such a request does not end the process at
// once: it is recorded, the run stops at its next check (the extraction at
// the next buffer), removes the work folder, and then ends as the request
// asks (EndAsRequested). While the program runs, the Linux signals are
// passed on to it and the launcher keeps waiting for it.
#pragma once

#include <functional>

enum class StopRequest {
    None,
    Cancel,  // SIGINT: stop, clean up, exit code 2
    End,     // SIGTERM, SIGHUP, SIGQUIT, the session's end: stop, clean up, end
};

class CRunStopWatch {
public:
    // Linux: takes over the four signals. Windows: a hidden top-level window
    // that receives the session-end messages.
    CRunStopWatch();
    // Gives the signals back to their previous handling.
    ~CRunStopWatch();
    CRunStopWatch(const CRunStopWatch&) = delete;
    CRunStopWatch& operator=(const CRunStopWatch&) = delete;

    // The strongest request so far (End outranks Cancel). Windows: serves
    // the messages sent to the watch's window first.
    StopRequest Poll();

    // Windows: what the session's end must still do before the process goes
    // (remove the work folder); run from the session-end message when the
    // run has not done it itself by then. Nothing on Linux.
    void SetCleanup(std::function<void()> cleanup);

    // After the cleanup: Linux ends the process by the signal that asked for
    // the end (its default action, so that the parent sees the usual
    // status). Returns when there is nothing to do.
    void EndAsRequested();
};

#ifndef _WIN32
// Passes the stop signals on to the process `child` from now on (0: to
// nobody). Signals that the terminal sent to its whole foreground group have
// reached the child already and are not sent twice. A signal that came
// before the child was named is passed on as soon as it is named.
void ForwardStopSignalsTo(int child);
#endif
