// Stop requests on Linux: SIGINT, SIGTERM, SIGHUP and SIGQUIT are recorded by
// a handler (and passed on to the program while it runs); the run polls them.
#include "launcher/run_stop.h"

#include <signal.h>
#include <sys/types.h>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile sig_atomic_t recordedSignal = 0;
// The last signal that another process sent (not the terminal); passed on to
// a child named after it came.
volatile sig_atomic_t unforwardedSignal = 0;
volatile sig_atomic_t forwardTarget = 0;
struct sigaction previousActions[kSignalCount];

void OnStopSignal(int number, siginfo_t* info, void*) {
    // A signal to end outranks the cancel request.
    if (recordedSignal == 0 || recordedSignal == SIGINT) recordedSignal = number;
    // The terminal sends its signals to the whole foreground group, the
    // program included.
    if (info && info->si_code == SI_KERNEL) return;
    const pid_t target = forwardTarget;
    if (target > 0)
        kill(target, number);
    else
        unforwardedSignal = number;
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : kStopSignals) sigaddset(&set, number);
    return set;
}

}  // namespace

CRunStopWatch::CRunStopWatch() {
    recordedSignal = 0;
    unforwardedSignal = 0;
    forwardTarget = 0;
    struct sigaction action = {};
    action.sa_sigaction = OnStopSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    action.sa_mask = StopSignalSet();
    for (int i = 0; i < kSignalCount; ++i) sigaction(kStopSignals[i], &action, &previousActions[i]);
}

CRunStopWatch::~CRunStopWatch() {
    for (int i = 0; i < kSignalCount; ++i) sigaction(kStopSignals[i], &previousActions[i], nullptr);
}

StopRequest CRunStopWatch::Poll() {
    const int number = recordedSignal;
    if (number == 0) return StopRequest::None;
    return number == SIGINT ? StopRequest::Cancel : StopRequest::End;
}

void CRunStopWatch::SetCleanup(std::function<void()>) {}

void CRunStopWatch::EndAsRequested() {
    const int number = recordedSignal;
    if (number == 0 || number == SIGINT) return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(number);
}

void ForwardStopSignalsTo(int child) {
    const sigset_t set = StopSignalSet();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &set, &previous);
    forwardTarget = child;
    if (child > 0 && unforwardedSignal != 0) {
        kill(child, unforwardedSignal);
        unforwardedSignal = 0;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}
