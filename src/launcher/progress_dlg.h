// The progress window: a small modal dialog (template 102) with a caption
// and a progress bar. Once on screen it posts itself the start message, whose
// handler runs the extraction with a CStepSink feeding the bar; the cancel
// command (Escape, close button, Alt+F4; Ctrl-C on Linux) only sets the
// cancel flag, and the window closes when the run posts the quit request.
//
// On Linux the "window" is the terminal: the title on a line of its own and
// the bar as one line on stderr redrawn after each buffer, both only when
// stderr is a terminal.
#pragma once

#include <cstdint>

#include "framework/dialog.h"
#include "framework/progress_ctrl.h"

constexpr unsigned ProgressDialogTemplate = 102;
constexpr int ProgressBarControl = 1002;
constexpr unsigned ProgressIconResource = 128;
// The private start message (WM_USER + 22).
constexpr unsigned StartRunMessage = 0x0416;

class CProgressDlg : public CDialog {
public:
    explicit CProgressDlg(CWnd* parent = nullptr);
    ~CProgressDlg() override;

    // 0 while the run may go on; 1 after a cancel request.
    int cancelFlag = 0;
    // The run's exit code (RunExit*); a window that never ran it failed.
    int runResult = 1;
    // Bound to control 1002 when the window is initialised.
    CProgressCtrl progressBar;
    // The window's icon (resource 128); null when it cannot be loaded.
    void* icon = nullptr;

    void SetWindowText(const std::string& text) override;

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    void OnCancel() override;
    bool OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam, intptr_t& result) override;

    // Start message: runs the extraction with this window's sink, bar and
    // cancel flag.
    virtual void OnStartRun();

private:
    void SetIcons();
};
