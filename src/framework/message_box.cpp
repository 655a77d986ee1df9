// Message boxes: the hook and the application box, on top of the platform's.
#include "framework/message_box.h"

#include "framework/app.h"
#include "framework/window.h"

namespace {
MessageBoxHook currentHook = nullptr;
}

void SetMessageBoxHook(MessageBoxHook hook) { currentHook = hook; }

int OwnedMessageBox(const CWnd* owner, const std::string& text, const std::string& caption, unsigned flags) {
    if (currentHook) return currentHook(text, caption, flags);
    if (owner && !owner->IsWindowAlive()) owner = nullptr;
    return PlatformMessageBox(owner, text, caption, flags);
}

int AppMessageBox(const std::string& text) {
    CWinApp* app = CWinApp::Current();
    std::string caption = app ? app->AppName() : ModuleBaseName();
    const CWnd* owner = app ? app->mainWindow : nullptr;
    return OwnedMessageBox(owner, text, caption, MbOk | MbIconWarning);
}
