// The framework's message pump, used where long work keeps the window alive.
#pragma once

class CWnd;

// True when a message waits in the thread's queue (looked at, not removed).
bool MessageWaiting();

// Takes one message, gives the main window's dialog keyboard handling a
// chance, else translates and dispatches it. Returns false when it was the
// quit message (which is then consumed). Blocks on Windows until a message
// comes; on Linux returns true at once when nothing waits.
bool PumpMessage();

// The application's idle processing with the given counter; true while it
// has more idle work.
bool RunIdle(long count);

// Posts the quit request with the given exit code.
void PostQuitRequest(int exitCode);

// Serves the queue while long work runs: pumps every waiting message one at
// a time; a quit message is posted again and false returned at once, so that
// the loop that owns it still ends; with the queue empty, runs the idle
// processing with 0, 1, 2, ... until it has no more work. True otherwise.
bool PumpWaitingMessages();

// Linux: while a window is set, Ctrl-C (SIGINT) does not end the process but
// becomes the cancel command (WM_COMMAND IDCANCEL) for that window, delivered
// by the pump while the window is shown; null restores the previous handling.
// Nothing on Windows, where the window gets the keyboard itself.
void EnableInterruptAsCancel(CWnd* window);
