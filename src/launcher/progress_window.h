// The window mode: shows the progress window modally as the application's
// main window; the window starts the run itself once it is on screen.
// Answers the run's exit code.
#pragma once

class CWinApp;

int RunProgressWindow(CWinApp& app);
