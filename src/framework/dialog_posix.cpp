// Modal dialogs on Linux: no window; the dialog object runs its messages
// through the framework's queue until the quit request or EndDialog.
#include "framework/dialog.h"

#include "framework/message_pump.h"

intptr_t CDialog::DoModal() {
    continueModal = true;
    modalResult = -1;
    Attach(this);
    CWnd::ShowWindow(SwShow);  // the template's window is visible
    EnableInterruptAsCancel(this);
    OnInitDialog();
    while (continueModal && MessageWaiting()) {
        if (!PumpMessage()) {
            PostQuitRequest(0);  // outer loops end too
            break;
        }
    }
    continueModal = false;
    EnableInterruptAsCancel(nullptr);
    ShowWindow(SwHide);
    DetachControls();
    Detach();
    return modalResult;
}

void CDialog::EndDialog(int result) {
    modalResult = result;
    continueModal = false;
    ShowWindow(SwHide);
}

void CDialog::ShowWindow(int showCommand) {
    CWnd::ShowWindow(showCommand);
    // Controls come and go with their dialog, as child windows do.
    for (CWnd* control : boundControls) control->ShowWindow(showCommand);
}

intptr_t CDialog::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == WmCommand && (wParam & 0xFFFF) == IdOk) {
        OnOK();
        return 0;
    }
    if (message == WmCommand && (wParam & 0xFFFF) == IdCancel) {
        OnCancel();
        return 0;
    }
    intptr_t result = 0;
    OnMessage(message, wParam, lParam, result);
    return result;
}

void CDialog::BindControl(int, CWnd& control) {
    control.Attach(&control);
    control.ShowWindow(IsWindowVisible() ? SwShow : SwHide);
    boundControls.push_back(&control);
}
