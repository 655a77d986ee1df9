// The data block reader (files written byte by byte) and the configuration.
#include "framework/message_box.h"
#include "launcher/configuration.h"
#include "launcher/data_block.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

const uint64_t kImageSize = 290816;
const uint64_t kLastMarkerOffset = 100000 + 1048576 - 6;

struct Box {
    std::string text;
    unsigned flags;
};
std::vector<Box> boxes;

int CaptureBox(const std::string& text, const std::string&, unsigned flags) {
    boxes.push_back({text, flags});
    return 1;
}

std::string Marker() { return std::string(reinterpret_cast<const char*>(DataBlockMarker()), DataBlockMarkerSize); }

std::string LittleEndian32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// An image of `markerAt` filler bytes, the marker, the length field, the text
// and the start of an archive.
std::string LauncherFile(uint64_t markerAt, const std::string& text, uint32_t declared) {
    return std::string(markerAt, 'M') + Marker() + LittleEndian32(declared) + text + std::string("PK\x03\x04", 4) +
           "rest of archive";
}
std::string LauncherFile(uint64_t markerAt, const std::string& text) {
    return LauncherFile(markerAt, text, static_cast<uint32_t>(text.size()));
}

class DataBlockTest : public ::testing::Test {
protected:
    void SetUp() override {
        boxes.clear();
        SetMessageBoxHook(CaptureBox);
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    // Writes the bytes as a launcher file and reads its block.
    std::string Read(const std::string& bytes) {
        const std::string path = scratch / "launcher.exe";
        WriteFile(path, bytes);
        return ReadDataBlock(path);
    }
    void ExpectNotFound(const std::string& bytes) {
        boxes.clear();
        EXPECT_EQ(Read(bytes), "");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Data segment not found.");
        EXPECT_EQ(boxes[0].flags, MbOk | MbIconWarning);
    }
    void ExpectText(const std::string& bytes, const std::string& text) {
        boxes.clear();
        EXPECT_EQ(Read(bytes), text);
        EXPECT_TRUE(boxes.empty());
    }

    ScratchDir scratch;
};

}  // namespace

TEST_F(DataBlockTest, MarkerIsTheSixBlockBytes) {
    EXPECT_EQ(Marker(), std::string("\x0B\x0B\xAF\xAF\x0B\x0B", 6));
}

TEST_F(DataBlockTest, BlockOfALauncherFileIsFound) {
    ExpectText(LauncherFile(kImageSize, testsupport::kShippedConfiguration), testsupport::kShippedConfiguration);
    const LauncherConfig config = ParseConfiguration(Read(LauncherFile(kImageSize, testsupport::kShippedConfiguration)));
    EXPECT_EQ(config.title, "Please wait - Generating Installer............");
    EXPECT_EQ(config.run, "autorun.exe");
    EXPECT_EQ(config.prog, 1);
    EXPECT_EQ(config.usePassword, 1);
}

TEST_F(DataBlockTest, SearchWindowBounds) {
    ExpectNotFound(LauncherFile(99999, "<KV_ZCD/>"));
    ExpectText(LauncherFile(100000, "<KV_ZCD/>"), "<KV_ZCD/>");
    // The marker must lie wholly inside the window; what follows it need not.
    ExpectText(LauncherFile(kLastMarkerOffset, "<KV_ZCD/>"), "<KV_ZCD/>");
    ExpectNotFound(LauncherFile(kLastMarkerOffset + 1, "<KV_ZCD/>"));
}

TEST_F(DataBlockTest, NoBlock) {
    ExpectNotFound(std::string(kImageSize, 'M'));
    ExpectNotFound(std::string(99999, 'M'));
    ExpectNotFound("");
    // A marker cut by the end of the file.
    ExpectNotFound(std::string(100000, 'M') + Marker().substr(0, 5));
}

TEST_F(DataBlockTest, FileThatCannotBeOpenedGivesNoMessage) {
    EXPECT_EQ(ReadDataBlock(scratch / "missing.exe"), "");
    EXPECT_EQ(ReadDataBlock(""), "");
    EXPECT_EQ(ReadDataBlock(scratch.Path()), "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DataBlockTest, FirstMarkerWins) {
    const std::string second = LauncherFile(0, "<second/>");
    std::string bytes = LauncherFile(120000, "<first/>") + second;
    ExpectText(bytes, "<first/>");
    // A copy of the marker before offset 100000 does not count.
    bytes = std::string(5000, 'M') + Marker() + std::string(100000, 'M') + second;
    ExpectText(bytes, "<second/>");
}

TEST_F(DataBlockTest, DeclaredLengthLimits) {
    const std::string longest(1023, 'x');
    ExpectText(LauncherFile(kImageSize, longest), longest);
    ExpectNotFound(LauncherFile(kImageSize, longest + "y"));
    ExpectNotFound(LauncherFile(kImageSize, "<a/>", 0xFFFFFFFFu));
    ExpectText(LauncherFile(kImageSize, ""), "");
}

TEST_F(DataBlockTest, BlockCutShort) {
    const std::string head = std::string(kImageSize, 'M') + Marker();
    ExpectNotFound(head);
    ExpectNotFound(head + LittleEndian32(20).substr(0, 3));
    ExpectNotFound(head + LittleEndian32(20) + "only twelve!");
    ExpectText(head + LittleEndian32(12) + "only twelve!", "only twelve!");
}

TEST_F(DataBlockTest, ZeroByteEndsTheText) {
    const std::string text("<KV_ZCD><Prog>0</Prog></KV_ZCD>\0<junk", 37);
    ExpectText(LauncherFile(kImageSize, text), "<KV_ZCD><Prog>0</Prog></KV_ZCD>");
    // The mode check on that file: no progress window.
    EXPECT_EQ(ParseConfiguration(Read(LauncherFile(kImageSize, text))).prog, 0);
}

TEST(ConfigInteger, LeadingSpaceSignDigits) {
    EXPECT_EQ(ConfigInteger(""), 0);
    EXPECT_EQ(ConfigInteger("abc"), 0);
    EXPECT_EQ(ConfigInteger("-"), 0);
    EXPECT_EQ(ConfigInteger(" 2"), 2);
    EXPECT_EQ(ConfigInteger("\r\n\t 12abc"), 12);
    EXPECT_EQ(ConfigInteger("+5"), 5);
    EXPECT_EQ(ConfigInteger("-7x"), -7);
    EXPECT_EQ(ConfigInteger("007"), 7);
    EXPECT_EQ(ConfigInteger("1 2"), 1);
    EXPECT_EQ(ConfigInteger("+ 3"), 0);
    EXPECT_EQ(ConfigInteger("99999999999999999999"), 2147483647);
    EXPECT_EQ(ConfigInteger("-99999999999999999999"), -2147483647 - 1);
}

TEST(Configuration, KeysInAnyOrderWithOtherElements) {
    const LauncherConfig config = ParseConfiguration(
        "<KV_ZCD><UsePW>3</UsePW><x><Run>inner</Run></x><Prog>0</Prog>\n"
        "<!-- note --><Run>setup.exe</Run><Title>A &amp; B</Title><Run>second.exe</Run></KV_ZCD>");
    EXPECT_EQ(config.title, "A & B");
    EXPECT_EQ(config.run, "setup.exe");
    EXPECT_EQ(config.prog, 0);
    EXPECT_EQ(config.usePassword, 3);
}

TEST(Configuration, ProgValues) {
    struct Case {
        const char* element;
        int prog;
    } cases[] = {
        {"<Prog/>", 0},         {"<Prog />", 0},       {"<Prog></Prog>", 0},
        {"<Prog>yes</Prog>", 0}, {"<Prog> 2</Prog>", 2}, {"<Prog>1</Prog>", 1},
        {"<Prog>-1</Prog>", -1}, {"<Other/>", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        EXPECT_EQ(ParseConfiguration(std::string("<KV_ZCD>") + c.element + "</KV_ZCD>").prog, c.prog);
    }
}

TEST(Configuration, DefaultsWhenMissingOrUnreadable) {
    const char* texts[] = {
        "",
        "<KV_ZCD/>",
        "<KV_ZCD></KV_ZCD>",
        "<Config><Prog>0</Prog><UsePW>1</UsePW><Title>t</Title><Run>r</Run></Config>",
        "<kv_zcd><Prog>0</Prog></kv_zcd>",
        "<KV_ZCD><Prog>0</Prog><UsePW>1</UsePW>",  // no end tag: the parse fails
        "garbage",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const LauncherConfig config = ParseConfiguration(text);
        EXPECT_EQ(config.title, "");
        EXPECT_EQ(config.run, "");
        EXPECT_EQ(config.prog, 1);
        EXPECT_EQ(config.usePassword, 0);
        EXPECT_EQ(config.waitTree, 0);
        EXPECT_EQ(config.passExitCode, 0);
    }
}

TEST(Configuration, OptionalKeysBesideUnknownOnes) {
    // The shipped seven-line text knows neither key: both stay off.
    const LauncherConfig old = ParseConfiguration(
        "<KV_ZCD>\r\n<Message/>\r\n<Title>T</Title>\r\n<Run>autorun.exe</Run>\r\n<Prog>1</Prog>\r\n"
        "<UsePW>1</UsePW>\r\n</KV_ZCD>\r\n");
    EXPECT_EQ(old.run, "autorun.exe");
    EXPECT_EQ(old.waitTree, 0);
    EXPECT_EQ(old.passExitCode, 0);

    const LauncherConfig both = ParseConfiguration(
        "<KV_ZCD><PassExitCode> 1</PassExitCode><Future>x</Future><Run>a.exe</Run>"
        "<WaitTree>2</WaitTree><WaitTree>0</WaitTree><Prog>0</Prog></KV_ZCD>");
    EXPECT_EQ(both.run, "a.exe");
    EXPECT_EQ(both.prog, 0);
    EXPECT_EQ(both.waitTree, 2);  // the first occurrence counts
    EXPECT_EQ(both.passExitCode, 1);

    const LauncherConfig off = ParseConfiguration("<KV_ZCD><WaitTree>no</WaitTree><PassExitCode/></KV_ZCD>");
    EXPECT_EQ(off.waitTree, 0);
    EXPECT_EQ(off.passExitCode, 0);
}
