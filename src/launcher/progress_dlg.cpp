// The parts of the progress window that both platforms share.
#include "launcher/progress_dlg.h"

#include "launcher/extract_job.h"
#include "launcher/step_sink.h"

void CProgressDlg::DoDataExchange() { BindControl(ProgressBarControl, progressBar); }

bool CProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcons();
    // Posted, not called: the run starts once the window is on screen and
    // the modal loop serves it.
    PostMessage(StartRunMessage, 0, 0);
    return true;
}

void CProgressDlg::OnCancel() {
    // The window stays; the sink and the run see the flag and stop.
    cancelFlag = 1;
}

void CProgressDlg::OnStartRun() {
    CExtractJob job;
    CStepSink sink;
    sink.window = this;
    job.progressSink = &sink;
    job.window = this;
    job.progressBar = &progressBar;
    job.cancelFlag = &cancelFlag;
    cancelFlag = 0;
    runResult = job.Run();
}
