// Platform-independent part of the modal dialog.
#include "framework/dialog.h"

CDialog::CDialog(unsigned id, CWnd* parentWindow) : templateId(id), parent(parentWindow) {}

CDialog::~CDialog() { DetachControls(); }

void CDialog::DoDataExchange() {}

bool CDialog::OnInitDialog() {
    DoDataExchange();
    return true;
}

void CDialog::OnOK() { EndDialog(IdOk); }

void CDialog::OnCancel() { EndDialog(IdCancel); }

bool CDialog::OnMessage(unsigned, uintptr_t, intptr_t, intptr_t&) { return false; }

void CDialog::DetachControls() {
    for (CWnd* control : boundControls) control->Detach();
    boundControls.clear();
}
