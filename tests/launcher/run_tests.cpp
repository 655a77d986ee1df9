// The extraction run against stand-ins for the window, the bar, the sink and
// the cancel flag, on launcher files made by the test-data generator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/message_box.h"
#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "launcher/extract_job.h"
#include "test_support.h"
#include "zip/zip_progress.h"

using namespace testsupport;

namespace {

struct Box {
    std::string text, caption;
    unsigned flags;
};
std::vector<Box> boxes;

int CaptureBox(const std::string& text, const std::string& caption, unsigned flags) {
    boxes.push_back({text, caption, flags});
    return 1;
}

class StandInWindow : public CWnd {
public:
    bool IsWindowAlive() const override { return alive; }
    void SetWindowText(const std::string& text) override { titles.push_back(text); }
    void ShowWindow(int command) override { shows.push_back(command); }
    bool alive = true;
    std::vector<std::string> titles;
    std::vector<int> shows;
};

class StandInBar : public CProgressCtrl {
public:
    bool IsWindowAlive() const override { return true; }
    void SetRange32(int lower, int upper) override { ranges.emplace_back(lower, upper); }
    int SetPos(int position) override { return position; }
    std::vector<std::pair<int, int>> ranges;
};

// Counts what the reader reports; can raise the cancel flag after a number
// of entries, the way the window's cancel request does.
class CountingSink : public CZipProgress {
public:
    bool Step(int32_t amount) override {
        bytes += amount;
        return cancelFlag == nullptr || *cancelFlag == 0;
    }
    void Begin(const std::string& inArchive, const std::string& onDisk) override {
        CZipProgress::Begin(inArchive, onDisk);
        names.push_back(inArchive);
        targets.push_back(onDisk);
    }
    void End() override {
        if (cancelAfter > 0 && ++ends >= cancelAfter) *cancelFlag = 1;
    }
    int64_t bytes = 0;
    int cancelAfter = 0;
    int ends = 0;
    int* cancelFlag = nullptr;
    std::vector<std::string> names, targets;
};

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        boxes.clear();
        SetMessageBoxHook(CaptureBox);
        job.workParent = parent.Path();
        job.window = &window;
        job.progressBar = &bar;
        job.progressSink = &sink;
        job.cancelFlag = &cancel;
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        while (MessageWaiting() && PumpMessage()) {
        }
    }
    int RunOn(const std::string& name) {
        job.launcherPath = TestData("launcher/" + name);
        return job.Run();
    }
    bool ParentIsEmpty() const { return !Exists(parent / "kv_ext_temp_0") && !Exists(parent / "kv_ext_temp_1"); }

    ScratchDir parent;
    CExtractJob job;
    StandInWindow window;
    StandInBar bar;
    CountingSink sink;
    int cancel = 0;
};

TEST_F(RunTest, CompleteRunSetsTitleAndRangeExtractsEverythingAndCleansUp) {
    EXPECT_EQ(RunOn("titled.bin"), 0);
    EXPECT_EQ(window.titles, std::vector<std::string>{"Unit & title"});
    ASSERT_EQ(bar.ranges.size(), 1u);
    EXPECT_EQ(bar.ranges[0], std::make_pair(0, 1000 + 76800));
    EXPECT_EQ(sink.bytes, 1000 + 76800);
    EXPECT_EQ(sink.names, (std::vector<std::string>{"a.txt", "d" + std::string(1, kSep), "d" + std::string(1, kSep) + "b.txt", "empty.txt"}));
    EXPECT_EQ(sink.targets[0], Join(Join(parent.Path(), "kv_ext_temp_0"), "a.txt"));
    EXPECT_TRUE(window.shows.empty()) << "no program to start, so the window stays";
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(ParentIsEmpty());
    EXPECT_FALSE(PumpMessage()) << "the run ends with the quit request";
}

TEST_F(RunTest, EmptyTitleShowsLoadingAndAGoneWindowIsLeftAlone) {
    EXPECT_EQ(RunOn("untitled.bin"), 0);
    EXPECT_EQ(window.titles, std::vector<std::string>{"Loading"});

    window.titles.clear();
    window.alive = false;
    EXPECT_EQ(RunOn("untitled.bin"), 0);
    EXPECT_TRUE(window.titles.empty());
}

TEST_F(RunTest, WithoutPasswordSwitchTheFirstEncryptedEntryEndsTheRun) {
    EXPECT_EQ(RunOn("no_password.bin"), RunExitFailed);
    EXPECT_EQ(sink.bytes, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Could not extract \"a.txt\": Incorrect password set for the file being decrypted");
    EXPECT_EQ(boxes[0].flags, 0x30u);
    EXPECT_TRUE(ParentIsEmpty());
    EXPECT_FALSE(PumpMessage()) << "the failed run ends with the quit request";
}

TEST_F(RunTest, FoldersOnlyArchiveGivesAnEmptyRange) {
    EXPECT_EQ(RunOn("folders_only.bin"), 0);
    ASSERT_EQ(bar.ranges.size(), 1u);
    EXPECT_EQ(bar.ranges[0], std::make_pair(0, 0));
    EXPECT_EQ(sink.names.size(), 2u);
    EXPECT_TRUE(ParentIsEmpty());
}

TEST_F(RunTest, CancelAfterTheFirstEntryStopsCleansUpAndTellsTheUser) {
    // One thread stops right after the entry; workers may have settled and
    // ended the entries they had in hand.
    for (const unsigned workers : {1u, 2u}) {
        SCOPED_TRACE(workers);
        boxes.clear();
        sink.names.clear();
        sink.ends = 0;
        cancel = 0;
        job.workers = workers;
        sink.cancelFlag = &cancel;
        sink.cancelAfter = 1;
        EXPECT_EQ(RunOn("titled.bin"), RunExitCancelled);
        if (workers == 1) {
            EXPECT_EQ(sink.names.size(), 1u);
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Extraction Cancelled");
        EXPECT_EQ(boxes[0].caption, "Status");
        EXPECT_EQ(boxes[0].flags, 0x30u);
        EXPECT_TRUE(ParentIsEmpty());
    }
}

TEST_F(RunTest, ArchiveThatCannotBeOpenedIsReportedAndTheWorkFolderRemoved) {
    EXPECT_EQ(RunOn("damaged.bin"), RunExitFailed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("central directory was not found"), std::string::npos) << boxes[0].text << " / " << boxes[0].caption;
    EXPECT_TRUE(bar.ranges.empty());
    EXPECT_TRUE(ParentIsEmpty());
    EXPECT_FALSE(PumpMessage()) << "the failed run also ends with the quit request";
}

TEST_F(RunTest, MissingFileGivesTheFileErrorText) {
    EXPECT_EQ(RunOn("no-such-launcher.bin"), RunExitFailed);
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.back().text.find("no-such-launcher.bin"), std::string::npos) << boxes.back().text;
    EXPECT_TRUE(ParentIsEmpty());
}

}  // namespace
