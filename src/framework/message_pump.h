// The framework's message pump, used where long work keeps the window alive.
#pragma once

// True when a message waits in the thread's queue (looked at, not removed).
bool MessageWaiting();

// Takes one message, gives the main window's dialog keyboard handling a
// chance, else translates and dispatches it. Returns false when it was the
// quit message (which is then consumed).
bool PumpMessage();

// The application's idle processing with the given counter; true while it
// has more idle work.
bool RunIdle(long count);

// Posts the quit request with the given exit code.
void PostQuitRequest(int exitCode);
