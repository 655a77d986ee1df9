// Modal dialogs made from a dialog template of the program's resources.
//
// Windows: the window is created modeless from the template
// (CreateDialogParamA) and run by a modal loop of our own: the loop ends when
// EndDialog was called, once the message being handled returns, or at once
// when the quit message arrives (which is posted again, so that outer loops
// end too). A plain DialogBox loop would not end on the quit message, and the
// launcher's run ends its window exactly that way.
//
// Linux: no window is created. The dialog object counts as alive and shown
// while it runs; messages posted to it wait in the framework's queue and
// reach WindowProc through the pump; the run ends when the quit request is
// pumped, when EndDialog was called, or when nothing is left to do.
#pragma once

#include <vector>

#include "framework/window.h"

class CDialog : public CWnd {
public:
    explicit CDialog(unsigned templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the window and runs it modally; returns the EndDialog result,
    // or -1 when the quit request ended the run or no window could be made.
    virtual intptr_t DoModal();
    // Ends the modal run with the given result: the window is hidden at once
    // and the run ends once the message being handled returns.
    void EndDialog(int result);

    void ShowWindow(int showCommand) override;
    intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    unsigned TemplateId() const { return templateId; }

protected:
    // Binds controls to their objects (BindControl); called by OnInitDialog.
    virtual void DoDataExchange();
    // Window initialisation; true lets the dialog manager set the focus.
    virtual bool OnInitDialog();
    // The OK command (Enter): ends the dialog with IdOk.
    virtual void OnOK();
    // The cancel command (Escape, close button, Alt+F4): ends with IdCancel.
    virtual void OnCancel();
    // Any other message. Returns true when handled, with the message's
    // result in `result`; false leaves the message to the default handling.
    virtual bool OnMessage(unsigned message, uintptr_t wParam, intptr_t lParam, intptr_t& result);

    // Attaches the control with the given identifier to `control`.
    void BindControl(int controlId, CWnd& control);

private:
    friend struct DialogAccess;
    unsigned templateId;
    CWnd* parent;
    bool continueModal = false;
    int modalResult = -1;
    std::vector<CWnd*> boundControls;
    void DetachControls();
};
