// Linux only: the framework's thread message queue. Messages posted to a
// window object wait here until the pump dispatches them to its WindowProc;
// a window that goes away takes its waiting messages with it.
#pragma once

#include <cstdint>

class CWnd;

namespace posixqueue {

void Post(CWnd* target, unsigned message, uintptr_t wParam, intptr_t lParam);
// Drops every waiting message addressed to the window.
void Forget(const CWnd* target);

}  // namespace posixqueue
