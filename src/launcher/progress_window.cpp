#include "launcher/progress_window.h"

#include <memory>

#include "framework/app.h"
#include "launcher/progress_dlg.h"

int RunProgressWindow(CWinApp& app) {
    auto window = std::make_unique<CProgressDlg>(nullptr);
    app.mainWindow = window.get();
    window->DoModal();
    app.mainWindow = nullptr;
    return window->runResult;
}
