// The window mode: shows the progress window modally as the application's
// main window; the window starts the run itself once it is on screen.
#pragma once

class CWinApp;

void RunProgressWindow(CWinApp& app);
