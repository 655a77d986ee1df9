#include <gtest/gtest.h>

#include "config_writer.h"
#include "pack_error.h"

using namespace kvpack;

TEST(PackConfig, SevenLinesWithCrLfAndEntities) {
    LauncherConfig config;
    config.title = "Tom & Jerry's <\"show\">";
    config.run = "bin\\setup.exe";
    EXPECT_EQ(BuildConfigText(config),
              "<KV_ZCD>\r\n<Message/>\r\n"
              "<Title>Tom &amp; Jerry&apos;s &lt;&quot;show&quot;&gt;</Title>\r\n"
              "<Run>bin\\setup.exe</Run>\r\n<Prog>1</Prog>\r\n<UsePW>1</UsePW>\r\n</KV_ZCD>\r\n");

    config = LauncherConfig();
    config.showProgress = false;
    config.usePassword = false;
    EXPECT_EQ(BuildConfigText(config),
              "<KV_ZCD>\r\n<Message/>\r\n<Title></Title>\r\n<Run></Run>\r\n"
              "<Prog>0</Prog>\r\n<UsePW>0</UsePW>\r\n</KV_ZCD>\r\n");
}

TEST(PackConfig, OptionalKeysOnlyWhenSwitchedOn) {
    LauncherConfig config;
    config.run = "setup.exe";
    config.waitTree = true;
    EXPECT_EQ(BuildConfigText(config),
              "<KV_ZCD>\r\n<Message/>\r\n<Title></Title>\r\n<Run>setup.exe</Run>\r\n<Prog>1</Prog>\r\n"
              "<UsePW>1</UsePW>\r\n<WaitTree>1</WaitTree>\r\n</KV_ZCD>\r\n");
    config.passExitCode = true;
    const std::string both = BuildConfigText(config);
    EXPECT_NE(both.find("<WaitTree>1</WaitTree>\r\n<PassExitCode>1</PassExitCode>\r\n</KV_ZCD>"), std::string::npos);
    // The keys count against the 1023 bytes like the rest of the text.
    config.title.assign(MaxConfigText - both.size() + 1, 'x');
    EXPECT_THROW(BuildConfigText(config), CPackError);
}

TEST(PackConfig, TheLaunchersOwnBlockIs154Bytes) {
    LauncherConfig config;
    config.title = "Please wait - Generating Installer............";
    config.run = "autorun.exe";
    EXPECT_EQ(BuildConfigText(config).size(), 154u);
}

TEST(PackConfig, LengthLimitCountsEscapedBytes) {
    LauncherConfig config;
    const size_t fixed = BuildConfigText(config).size();
    config.title.assign(MaxConfigText - fixed, 'x');
    EXPECT_EQ(BuildConfigText(config).size(), MaxConfigText);
    config.title += 'x';
    EXPECT_THROW(BuildConfigText(config), CPackError);
    // Five bytes for one '&': a title short enough as typed can be too long escaped.
    config.title.assign((MaxConfigText - fixed) / 5 + 1, '&');
    try {
        BuildConfigText(config);
        FAIL() << "an over-long text was accepted";
    } catch (const CPackError& e) {
        EXPECT_EQ(e.ExitCode(), ExitBadInput);
        EXPECT_NE(std::string(e.what()).find("1023"), std::string::npos) << e.what();
    }
}

TEST(PackConfig, ZeroByteIsRefused) {
    LauncherConfig config;
    config.title = std::string("a\0b", 3);
    EXPECT_THROW(BuildConfigText(config), CPackError);
    EXPECT_THROW(CheckConfigText(std::string("<KV_ZCD>\0", 9)), CPackError);
}
