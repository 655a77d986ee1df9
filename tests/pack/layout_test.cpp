#include <gtest/gtest.h>

#include "config_writer.h"
#include "launcher/configuration.h"
#include "layout_writer.h"
#include "pack_error.h"
#include "pack_test_util.h"
#include "zip_crypt_writer.h"
#include "zip_probe.h"

using namespace kvpack;
using namespace packtest;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class PackLayout : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeFolder(dir / "payload");
        WriteFile(dir / "payload" + testsupport::kSep + "a.txt", "hello launcher\n");
        options.folder = dir / "payload";
        options.outputPath = dir / "out.bin";
        options.stubPath = dir / "stub";
        options.config.title = "T & T";
        options.config.run = "a.txt";
    }

    // Expects the builder to refuse, leaving the folder as it was.
    void ExpectRefused(const char* why) {
        std::vector<std::string> before = FolderNames(dir.Path());
        try {
            Pack(options);
            ADD_FAILURE() << why << ": accepted";
        } catch (const CPackError& e) {
            EXPECT_EQ(e.ExitCode(), ExitBadInput) << why;
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        EXPECT_EQ(FolderNames(dir.Path()), before) << why << ": files left behind";
    }

    testsupport::ScratchDir dir;
    PackOptions options;
};

}  // namespace

TEST_F(PackLayout, ShortStubIsPaddedSoTheMarkerBeginsAt100000) {
    const std::string stub = FakeStub(5000);
    WriteFile(options.stubPath, stub);
    PackResult result = Pack(options);
    const std::string out = ReadFile(options.outputPath);

    EXPECT_EQ(out.compare(0, stub.size(), stub), 0);
    EXPECT_EQ(out.find_first_not_of('\0', stub.size()), 100000u);
    ProbeBlock block = ProbeLauncher(out);
    ASSERT_EQ(block.markerOffset, 100000u);
    EXPECT_EQ(result.markerOffset, 100000u);
    EXPECT_EQ(block.text, BuildConfigText(options.config));
    EXPECT_EQ(block.length, block.text.size());
    EXPECT_NE(block.text.find("<Title>T &amp; T</Title>\r\n"), std::string::npos);
    ASSERT_EQ(block.archiveOffset, result.archiveOffset);
    EXPECT_EQ(out.compare(block.archiveOffset, 4, "PK\x03\x04"), 0);
    EXPECT_EQ(result.outputSize, out.size());

    // Offsets inside the archive count from its own first byte.
    ProbeArchive cut = ProbeZip(out.substr(block.archiveOffset), LauncherArchivePassword);
    EXPECT_EQ(cut.bytesBefore, 0u);
    ProbeArchive whole = ProbeZip(out, LauncherArchivePassword);
    EXPECT_EQ(whole.bytesBefore, block.archiveOffset);
    ASSERT_EQ(whole.entries.size(), 1u);
    EXPECT_EQ(whole.entries[0].data, "hello launcher\n");
}

TEST_F(PackLayout, LongStubsCarryTheMarkerDirectlyBehindThem) {
    for (size_t size : {size_t(100000), size_t(250001), size_t(LastMarkerOffset)}) {
        const std::string stub = FakeStub(size);
        WriteFile(options.stubPath, stub);
        Pack(options);
        const std::string out = ReadFile(options.outputPath);
        EXPECT_EQ(out.compare(0, stub.size(), stub), 0);
        EXPECT_EQ(ProbeLauncher(out).markerOffset, size) << size;
    }
    EXPECT_EQ(LastMarkerOffset, 1148570u);
}

TEST_F(PackLayout, StubsThatCannotCarryABlockAreRefused) {
    WriteFile(options.stubPath, FakeStub(LastMarkerOffset + 1));
    ExpectRefused("stub one byte too long");

    std::string stub = FakeStub(4000);
    stub.replace(300, 6, BlockMarker());
    WriteFile(options.stubPath, stub);
    ExpectRefused("stub holding the marker");

    // A tail 0B 0B AF AF would meet the appended marker and be found first.
    stub = FakeStub(120000);
    stub.replace(stub.size() - 4, 4, BlockMarker().substr(0, 4));
    WriteFile(options.stubPath, stub);
    ExpectRefused("stub ending in a partial marker");

    testsupport::RemoveTree(options.stubPath);
    ExpectRefused("missing stub");
}

TEST_F(PackLayout, AFailedBuildKeepsTheEarlierOutput) {
    WriteFile(options.stubPath, FakeStub(3000));
    WriteFile(options.outputPath, "earlier launcher");
    options.config.title.assign(2000, 'x');
    ExpectRefused("configuration too long");
    EXPECT_EQ(ReadFile(options.outputPath), "earlier launcher");

    options.config.title = "fine";
    Pack(options);
    EXPECT_EQ(ProbeLauncher(ReadFile(options.outputPath)).markerOffset, 100000u);
}

TEST_F(PackLayout, AnExistingArchiveIsAppendedUnchanged) {
    WriteFile(options.stubPath, FakeStub(3000));
    // An archive to append: the one the builder made, cut out, unencrypted.
    options.config.usePassword = false;
    Pack(options);
    const std::string plain = ReadFile(options.outputPath).substr(ProbeLauncher(ReadFile(options.outputPath)).archiveOffset);
    WriteFile(dir / "plain.zip", plain);

    PackOptions zipOptions = options;
    zipOptions.folder.clear();
    zipOptions.zipPath = dir / "plain.zip";
    zipOptions.outputPath = dir / "from-zip.bin";
    std::vector<std::string> warnings;
    zipOptions.config.usePassword = false;
    Pack(zipOptions, &warnings);
    const std::string out = ReadFile(zipOptions.outputPath);
    EXPECT_EQ(out.substr(ProbeLauncher(out).archiveOffset), plain);
    EXPECT_TRUE(warnings.empty()) << warnings.front();

    // UsePW 1 with unencrypted entries: they still extract; a warning says so.
    zipOptions.config.usePassword = true;
    warnings.clear();
    Pack(zipOptions, &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("unencrypted"), std::string::npos) << warnings[0];

    // UsePW 0 with encrypted entries: they would fail to extract.
    options.config.usePassword = true;
    Pack(options);
    const std::string secret = ReadFile(options.outputPath).substr(ProbeLauncher(ReadFile(options.outputPath)).archiveOffset);
    WriteFile(dir / "secret.zip", secret);
    zipOptions.zipPath = dir / "secret.zip";
    zipOptions.config.usePassword = false;
    warnings.clear();
    Pack(zipOptions, &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("fail"), std::string::npos) << warnings[0];
}

TEST_F(PackLayout, ARunTargetMissingFromThePayloadIsWarnedAbout) {
    WriteFile(options.stubPath, FakeStub(3000));
    std::vector<std::string> warnings;
    options.config.run = ".\\a.txt";  // found: separators and a leading ./ do not matter
    Pack(options, &warnings);
    EXPECT_TRUE(warnings.empty());
    options.config.run = "setup.exe";
    Pack(options, &warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("setup.exe"), std::string::npos);
}
