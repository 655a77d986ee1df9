// The framework's application object, message boxes, pump and bar scaling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/message_box.h"
#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"

namespace {

struct Box {
    std::string text;
    std::string caption;
    unsigned flags;
};
std::vector<Box> boxes;

int Capture(const std::string& text, const std::string& caption, unsigned flags) {
    boxes.push_back(Box{text, caption, flags});
    return IdOkResult;
}

// Counts idle calls and asks for a fixed number of rounds.
class IdleApp : public CWinApp {
public:
    long rounds = 0;
    std::vector<long> seen;
    bool OnIdle(long count) override {
        seen.push_back(count);
        return count + 1 < rounds;
    }
};

class HookedBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        boxes.clear();
        SetMessageBoxHook(Capture);
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }
};

// Leaves the thread's queue without a quit request whatever a test did.
void DrainQuit() {
    while (MessageWaiting())
        if (!PumpMessage()) break;
}

}  // namespace

TEST(AppName, StripsFolderAndLastExtension) {
    EXPECT_EQ(ModuleBaseNameFromPath("C:\\Dist\\setup.exe"), "setup");
    EXPECT_EQ(ModuleBaseNameFromPath("/usr/local/bin/kvsfx"), "kvsfx");
    EXPECT_EQ(ModuleBaseNameFromPath("Z:\\tmp\\my.tool.v2.exe"), "my.tool.v2");
    EXPECT_EQ(ModuleBaseNameFromPath("plain"), "plain");
    EXPECT_EQ(ModuleBaseNameFromPath("/opt/.hidden"), ".hidden");
}

TEST(AppName, IsTheRunningProgramsName) {
    IdleApp app;
    EXPECT_EQ(CWinApp::Current(), &app);
    EXPECT_EQ(app.AppName(), "kvsfx_framework_tests");
}

TEST_F(HookedBoxes, AppBoxUsesAppNameOkAndWarningIcon) {
    IdleApp app;
    EXPECT_EQ(AppMessageBox("Data segment not found."), IdOkResult);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Data segment not found.");
    EXPECT_EQ(boxes[0].caption, "kvsfx_framework_tests");
    EXPECT_EQ(boxes[0].flags, 0x30u);
}

TEST_F(HookedBoxes, OwnedBoxKeepsCaptionAndFlags) {
    OwnedMessageBox(nullptr, "Extraction Cancelled", "Status", MbOk | MbIconWarning);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Extraction Cancelled");
    EXPECT_EQ(boxes[0].caption, "Status");
    EXPECT_EQ(boxes[0].flags, 0x30u);
}

TEST(MessagePump, QuitRequestIsSeenThenConsumed) {
    DrainQuit();
    EXPECT_FALSE(MessageWaiting());
    PostQuitRequest(0);
    EXPECT_TRUE(MessageWaiting());
    EXPECT_FALSE(PumpMessage());
    EXPECT_FALSE(MessageWaiting());
}

TEST(MessagePump, LongWorkPumpReturnsAtQuitAndPostsItAgain) {
    DrainQuit();
    IdleApp app;
    app.rounds = 3;
    PostQuitRequest(0);
    EXPECT_FALSE(PumpWaitingMessages());
    // No idle work after a quit; the quit still waits for the outer loop.
    EXPECT_TRUE(app.seen.empty());
    EXPECT_TRUE(MessageWaiting());
    EXPECT_FALSE(PumpMessage());
    EXPECT_FALSE(MessageWaiting());
}

TEST(MessagePump, IdleRunsWithRisingCounterUntilNoMoreWork) {
    DrainQuit();
    IdleApp app;
    app.rounds = 4;
    EXPECT_TRUE(PumpWaitingMessages());
    EXPECT_EQ(app.seen, (std::vector<long>{0, 1, 2, 3}));
}

TEST(ProgressScale, TotalsAboveInt32AreShiftedIntoRange) {
    EXPECT_EQ(ScaleShiftFor(0), 0);
    EXPECT_EQ(ScaleShiftFor(0x7FFFFFFFull), 0);
    EXPECT_EQ(ScaleShiftFor(0x80000000ull), 1);
    EXPECT_EQ(ScaleShiftFor(0xFFFFFFFFull), 1);
    EXPECT_EQ(ScaleShiftFor(0x100000000ull), 2);
    for (uint64_t total : {0x80000000ull, 0x3'0000'0001ull, 0xFFFF'FFFF'FFFF'FFFFull}) {
        int shift = ScaleShiftFor(total);
        EXPECT_LE(total >> shift, 0x7FFFFFFFull) << total;
        EXPECT_GT(total >> shift, 0x3FFFFFFFull) << total;  // no precision thrown away
    }
}
