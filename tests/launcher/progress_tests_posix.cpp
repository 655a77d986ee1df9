// Linux: the progress window's modal run through the framework's queue, with
// Ctrl-C as the cancel request; the run itself is replaced by a scripted one.
#include <gtest/gtest.h>

#include <signal.h>

#include <functional>
#include <thread>

#include "framework/app.h"
#include "framework/message_pump.h"
#include "launcher/progress_dlg.h"
#include "launcher/step_sink.h"

namespace {

void DrainQueue() {
    while (MessageWaiting())
        if (!PumpMessage()) break;
}

class ScriptedDlg : public CProgressDlg {
public:
    std::function<void(ScriptedDlg&)> script;
    int starts = 0;
    using CDialog::EndDialog;

protected:
    void OnStartRun() override {
        ++starts;
        cancelFlag = 0;
        script(*this);
    }
};

}  // namespace

TEST(ProgressWindowPosix, StartMessageRunsOnceAndQuitEndsTheModalRun) {
    DrainQueue();
    CWinApp app;
    ScriptedDlg window;
    app.mainWindow = &window;
    bool aliveDuringRun = false;
    bool barBound = false;
    window.script = [&](ScriptedDlg& w) {
        aliveDuringRun = w.IsWindowAlive() && w.IsWindowVisible();
        barBound = w.progressBar.IsWindowAlive();
        w.progressBar.SetByteRange(1000);
        CStepSink sink;
        sink.window = &w;
        for (int i = 0; i < 10; ++i) EXPECT_TRUE(sink.Advance(100));
        EXPECT_EQ(w.progressBar.GetPos(), w.progressBar.GetRangeUpper());
        w.ShowWindow(SwHide);
        EXPECT_FALSE(w.progressBar.IsWindowVisible());
        PostQuitRequest(0);
    };
    EXPECT_EQ(window.DoModal(), -1);
    EXPECT_EQ(window.starts, 1);
    EXPECT_TRUE(aliveDuringRun);
    EXPECT_TRUE(barBound);
    EXPECT_FALSE(window.IsWindowAlive());
    EXPECT_FALSE(window.progressBar.IsWindowAlive());
    // The quit request is posted again for whoever runs outside.
    EXPECT_TRUE(MessageWaiting());
    EXPECT_FALSE(PumpMessage());
}

TEST(ProgressWindowPosix, InterruptIsTheCancelRequestWhileShown) {
    DrainQueue();
    CWinApp app;
    ScriptedDlg window;
    app.mainWindow = &window;
    int stoppedAfter = -1;
    window.script = [&](ScriptedDlg& w) {
        w.progressBar.SetByteRange(100 * 65536);
        CStepSink sink;
        sink.window = &w;
        for (int i = 0; i < 100; ++i) {
            if (i == 3) {
                raise(SIGINT);  // the process survives it
                // The sink serves the window on a time basis.
                std::this_thread::sleep_for(CStepSink::ServiceInterval * 2);
            }
            if (!sink.Advance(65536)) {
                stoppedAfter = i;
                break;
            }
        }
        EXPECT_EQ(w.cancelFlag, 1);
        EXPECT_TRUE(w.IsWindowVisible());  // cancel leaves the window open
        PostQuitRequest(0);
    };
    window.DoModal();
    EXPECT_EQ(stoppedAfter, 3);
    DrainQueue();
}

TEST(ProgressWindowPosix, InterruptIsIgnoredOnceTheWindowIsHidden) {
    DrainQueue();
    CWinApp app;
    ScriptedDlg window;
    app.mainWindow = &window;
    window.script = [&](ScriptedDlg& w) {
        CStepSink sink;
        sink.window = &w;
        w.ShowWindow(SwHide);  // as before the program starts
        raise(SIGINT);
        EXPECT_TRUE(sink.Step(1));
        EXPECT_EQ(w.cancelFlag, 0);
        PostQuitRequest(0);
    };
    window.DoModal();
    DrainQueue();
}

TEST(ProgressWindowPosix, EnterEndsTheDialogButTheRunGoesOn) {
    DrainQueue();
    CWinApp app;
    ScriptedDlg window;
    app.mainWindow = &window;
    bool finished = false;
    window.script = [&](ScriptedDlg& w) {
        CStepSink sink;
        sink.window = &w;
        w.PostMessage(WmCommand, IdOk, 0);  // the OK command, as Enter gives it
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(sink.Step(1));
        EXPECT_FALSE(w.IsWindowVisible());
        finished = true;
        PostQuitRequest(0);
    };
    EXPECT_EQ(window.DoModal(), IdOk);
    EXPECT_TRUE(finished);
    DrainQueue();
}

// The window is served on a time basis, not per buffer, and the bar is moved
// only when that shows; it still ends at its upper bound.
TEST(ProgressBarPosix, ThrottledBarStillEndsFull) {
    DrainQueue();
    CProgressDlg window;
    window.progressBar.Attach(&window.progressBar);
    window.progressBar.SetByteRange(1000 * 4096 + 17);
    CStepSink sink;
    sink.window = &window;
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(sink.Advance(4096));
    EXPECT_LT(window.progressBar.GetPos(), window.progressBar.GetRangeUpper());
    ASSERT_TRUE(sink.Advance(17));
    EXPECT_EQ(window.progressBar.GetPos(), window.progressBar.GetRangeUpper());
}

TEST(ProgressBarPosix, HugeTotalsStillFillTheBar) {
    CProgressCtrl bar;
    bar.Attach(&bar);  // a live control, as the dialog's binding makes it
    const uint64_t total = (5ull << 30) + 12345;
    bar.SetByteRange(total);
    EXPECT_EQ(bar.ScaleShift(), 2);
    EXPECT_EQ(bar.GetRangeLower(), 0);
    EXPECT_EQ(bar.GetRangeUpper(), static_cast<int>(total >> 2));
    bar.SetBytePos(total / 2);
    EXPECT_NEAR(bar.GetPos(), bar.GetRangeUpper() / 2, 1);
    bar.SetBytePos(total);
    EXPECT_EQ(bar.GetPos(), bar.GetRangeUpper());
    bar.SetBytePos(total * 2);  // more than announced: stays full
    EXPECT_EQ(bar.GetPos(), bar.GetRangeUpper());
    bar.Detach();
}
