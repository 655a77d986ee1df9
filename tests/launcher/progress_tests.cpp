// The launcher's progress sink and the progress window's cancel request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/message_pump.h"
#include "launcher/progress_dlg.h"
#include "launcher/step_sink.h"

namespace {

void DrainQueue() {
    while (MessageWaiting())
        if (!PumpMessage()) break;
}

// Exposes the window's protected handlers.
class OpenProgressDlg : public CProgressDlg {
public:
    using CProgressDlg::OnCancel;
};

class CountingApp : public CWinApp {
public:
    int idleCalls = 0;
    bool OnIdle(long) override {
        ++idleCalls;
        return false;
    }
};

}  // namespace

TEST(StepSink, StartsEmpty) {
    CStepSink sink;
    EXPECT_EQ(sink.runTotal, 0u);
    EXPECT_EQ(sink.window, nullptr);
    EXPECT_EQ(sink.workTotal, 0);
    EXPECT_EQ(sink.workDone, 0);
    EXPECT_TRUE(sink.fileInArchive.empty());
    EXPECT_TRUE(sink.externalFile.empty());
}

TEST(StepSink, EntryCountersRestartRunTotalDoesNot) {
    DrainQueue();
    OpenProgressDlg window;
    CStepSink sink;
    sink.window = &window;
    CZipProgress& progress = sink;  // called through the interface, as the reader does

    progress.Begin("dir/a.txt", "/tmp/w/dir/a.txt");
    progress.SetWorkTotal(100000);
    EXPECT_EQ(progress.workTotal, 0);  // the whole run is the bar's range
    EXPECT_TRUE(progress.Advance(65536));
    EXPECT_TRUE(progress.Advance(34464));
    progress.End();
    EXPECT_EQ(progress.workDone, 100000);
    EXPECT_EQ(progress.fileInArchive, "dir/a.txt");
    EXPECT_EQ(progress.externalFile, "/tmp/w/dir/a.txt");

    progress.Begin("b.bin", "/tmp/w/b.bin");
    EXPECT_EQ(progress.workDone, 0);
    EXPECT_EQ(progress.fileInArchive, "b.bin");
    EXPECT_TRUE(progress.Advance(5));
    EXPECT_EQ(progress.workDone, 5);
    EXPECT_EQ(sink.runTotal, 100005u);
}

TEST(StepSink, RunTotalGoesPastFourGigabytes) {
    OpenProgressDlg window;
    CStepSink sink;
    sink.window = &window;
    for (int i = 0; i < 3; ++i) sink.Step(0x7FFFFFFF);
    EXPECT_EQ(sink.runTotal, 3ull * 0x7FFFFFFF);
}

TEST(StepSink, CancelFlagStopsTheReader) {
    DrainQueue();
    OpenProgressDlg window;
    CStepSink sink;
    sink.window = &window;
    EXPECT_TRUE(sink.Advance(10));
    window.OnCancel();
    EXPECT_EQ(window.cancelFlag, 1);
    EXPECT_FALSE(sink.Advance(10));
    EXPECT_FALSE(sink.Step(0));
    EXPECT_EQ(sink.workDone, 20);  // counted all the same
}

TEST(StepSink, WithoutWindowNeverStops) {
    CStepSink sink;
    EXPECT_TRUE(sink.Advance(1 << 20));
    EXPECT_EQ(sink.runTotal, 1u << 20);
}

TEST(StepSink, QuitRequestSurvivesThePumpAndSkipsIdleWork) {
    DrainQueue();
    CountingApp app;
    OpenProgressDlg window;
    CStepSink sink;
    sink.window = &window;

    EXPECT_TRUE(sink.Step(100));
    EXPECT_EQ(app.idleCalls, 1);  // empty queue: idle work once (it has no more)

    PostQuitRequest(0);
    EXPECT_TRUE(sink.Step(100));  // not a cancel
    EXPECT_EQ(app.idleCalls, 1);
    // The quit request is still there for the window's modal loop.
    EXPECT_TRUE(MessageWaiting());
    EXPECT_FALSE(PumpMessage());
}
