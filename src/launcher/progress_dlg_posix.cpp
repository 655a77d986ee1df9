// The progress window on Linux: the terminal shows the title on a line of
// its own and the bar below it (framework/progress_ctrl_posix.cpp), both only
// when stderr is a terminal; Ctrl-C is the cancel request.
#include "launcher/progress_dlg.h"

#include <unistd.h>

#include <string>

CProgressDlg::CProgressDlg(CWnd* parent) : CDialog(ProgressDialogTemplate, parent) {}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::SetIcons() {}

void CProgressDlg::SetWindowText(const std::string& text) {
    CWnd::SetWindowText(text);
    if (!IsWindowVisible() || isatty(STDERR_FILENO) != 1) return;
    // Clear whatever the bar drew on the current line, then the title.
    std::string line = "\r\x1b[K" + text + "\n";
    ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    (void)written;
}

bool CProgressDlg::OnMessage(unsigned message, uintptr_t, intptr_t, intptr_t& result) {
    if (message != StartRunMessage) return false;
    OnStartRun();
    result = 0;
    return true;
}
