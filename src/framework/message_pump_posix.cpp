// The framework's queue on Linux. No system delivers messages here: the queue
// holds what the program posted to its own window objects, a posted quit
// request, and a pending Ctrl-C while that is the cancel request.
#include "framework/message_pump.h"

#include <signal.h>

#include <deque>

#include "framework/app.h"
#include "framework/posix_queue.h"
#include "framework/window.h"

namespace {

struct Posted {
    CWnd* target;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

std::deque<Posted>& Queue() {
    static std::deque<Posted> queue;
    return queue;
}

bool quitPosted = false;
volatile sig_atomic_t interruptPending = 0;
CWnd* interruptTarget = nullptr;
struct sigaction previousAction;

void OnInterrupt(int) { interruptPending = 1; }

CWnd* ShownInterruptTarget() {
    return interruptTarget && interruptTarget->IsWindowVisible() ? interruptTarget : nullptr;
}

}  // namespace

namespace posixqueue {

void Post(CWnd* target, unsigned message, uintptr_t wParam, intptr_t lParam) {
    Queue().push_back(Posted{target, message, wParam, lParam});
}

void Forget(const CWnd* target) {
    auto& queue = Queue();
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->target == target)
            it = queue.erase(it);
        else
            ++it;
    }
}

}  // namespace posixqueue

bool MessageWaiting() {
    if (interruptPending) {
        // A Ctrl-C counts only while a shown window takes it as cancel.
        if (ShownInterruptTarget()) return true;
        interruptPending = 0;
    }
    return !Queue().empty() || quitPosted;
}

bool PumpMessage() {
    if (interruptPending) {
        interruptPending = 0;
        if (CWnd* target = ShownInterruptTarget()) target->SendMessage(WmCommand, IdCancel, 0);
        return true;
    }
    if (!Queue().empty()) {
        Posted posted = Queue().front();
        Queue().pop_front();
        posted.target->SendMessage(posted.message, posted.wParam, posted.lParam);
        return true;
    }
    if (quitPosted) {
        quitPosted = false;
        return false;
    }
    return true;
}

bool RunIdle(long count) {
    CWinApp* app = CWinApp::Current();
    return app ? app->OnIdle(count) : false;
}

void PostQuitRequest(int) { quitPosted = true; }

void EnableInterruptAsCancel(CWnd* window) {
    bool enable = window != nullptr;
    bool enabled = interruptTarget != nullptr;
    interruptTarget = window;
    if (enable == enabled) return;
    if (enable) {
        struct sigaction action = {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &previousAction);
    } else {
        sigaction(SIGINT, &previousAction, nullptr);
        interruptPending = 0;
    }
}
