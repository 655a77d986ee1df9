// Message boxes. On Windows real boxes; on Linux one line on stderr,
// "caption: text". Tests can divert every box through a hook.
#pragma once

#include <string>

class CWnd;

constexpr unsigned MbOk = 0x00;
constexpr unsigned MbIconWarning = 0x30;
constexpr int IdOkResult = 1;

// The framework's box: caption is the application name, OK and warning icon,
// owned by the application's main window when it exists.
int AppMessageBox(const std::string& text);

// A box with an explicit owner (may be null), caption and flags.
int OwnedMessageBox(const CWnd* owner, const std::string& text, const std::string& caption, unsigned flags);

// When set, every box goes to the hook instead of the screen; null restores.
using MessageBoxHook = int (*)(const std::string& text, const std::string& caption, unsigned flags);
void SetMessageBoxHook(MessageBoxHook hook);

// Shows the box on the platform (no hook); the platform files implement it.
int PlatformMessageBox(const CWnd* owner, const std::string& text, const std::string& caption, unsigned flags);
