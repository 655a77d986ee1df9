// Stop requests on Windows: the end of the session. A hidden top-level
// window receives WM_QUERYENDSESSION and WM_ENDSESSION (a process without
// one is ended without notice); the run polls the request, and the session's
// end runs the run's cleanup itself when the run has not got that far.
#include "launcher/run_stop.h"

#include <windows.h>

#include <utility>

#include "framework/tick_clock.h"

namespace {

const char kWatchClass[] = "KvsfxSessionWatch";
// The run polls per entry and per buffer, and every peek is a round trip to
// the window system (under Wine several while input waits for another
// window): the queue is looked at no more often than this.
constexpr std::chrono::milliseconds kPeekInterval{25};

struct WatchState {
    HWND window = nullptr;
    bool ending = false;
    TickClock::time_point nextPeek{};
    std::function<void()> cleanup;
};
WatchState* watchState = nullptr;

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (watchState && message == WM_QUERYENDSESSION) {
        watchState->ending = true;
        return TRUE;
    }
    if (watchState && message == WM_ENDSESSION) {
        if (wParam) {
            // The process may be ended as soon as this returns.
            watchState->ending = true;
            if (watchState->cleanup) std::exchange(watchState->cleanup, nullptr)();
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

CRunStopWatch::CRunStopWatch() {
    static WatchState state;
    state = WatchState();
    watchState = &state;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WatchProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWatchClass;
    RegisterClassA(&windowClass);  // fails harmlessly when registered already
    state.window = CreateWindowExA(WS_EX_TOOLWINDOW, kWatchClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
}

CRunStopWatch::~CRunStopWatch() {
    if (watchState && watchState->window) DestroyWindow(watchState->window);
    watchState = nullptr;
}

StopRequest CRunStopWatch::Poll() {
    if (!watchState) return StopRequest::None;
    // Peeking delivers the messages that the system sent to the window (so
    // does any other look at the thread's queue, such as the window's pump).
    const auto now = TickClock::now();
    if (now >= watchState->nextPeek) {
        watchState->nextPeek = now + kPeekInterval;
        MSG message;
        while (watchState->window && PeekMessageA(&message, watchState->window, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    return watchState->ending ? StopRequest::End : StopRequest::None;
}

void CRunStopWatch::SetCleanup(std::function<void()> cleanup) {
    if (watchState) watchState->cleanup = std::move(cleanup);
}

void CRunStopWatch::EndAsRequested() {}
