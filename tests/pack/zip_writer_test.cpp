#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "layout_writer.h"
#include "pack_fs.h"
#include "pack_test_util.h"
#include "zip_probe.h"
#include "launcher/configuration.h"
#include "zip_writer.h"

using namespace kvpack;
using namespace packtest;
using testsupport::Join;
using testsupport::MakeFolder;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class PackArchive : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string p = dir / "payload";
        MakeFolder(p);
        MakeFolder(Join(p, "sub"));
        MakeFolder(Join(p, "sub/deeper"));
        MakeFolder(Join(p, "empty"));
        files["a.txt"] = "short text";
        files["empty.dat"] = "";
        std::string text;
        for (int i = 0; i < 200000; ++i) text += "line " + std::to_string(i) + "\n";
        files["sub/text.log"] = text;                       // several chunks, compresses well
        files["sub/deeper/noise.bin"] = NoiseBytes(300001, 7);  // does not compress: stored
        files["sub/deeper/tiny"] = "x";                     // deflate would grow it: stored
        for (const auto& f : files) WriteFile(Join(p, f.first), f.second);
        WriteFile(dir / "stub", FakeStub(2000));
        options.stubPath = dir / "stub";
        options.folder = p;
        options.outputPath = dir / "out.bin";
        options.config.run = "a.txt";
    }

    ProbeArchive PackAndProbe(const std::string& password) {
        Pack(options);
        return ProbeZip(ReadFile(options.outputPath), password);
    }

    testsupport::ScratchDir dir;
    PackOptions options;
    std::map<std::string, std::string> files;
};

const ProbeEntry* Find(const ProbeArchive& a, const std::string& name) {
    for (const ProbeEntry& e : a.entries)
        if (e.name == name) return &e;
    return nullptr;
}

}  // namespace

TEST_F(PackArchive, EncryptedFolderRoundTrip) {
    ProbeArchive a = PackAndProbe(LauncherArchivePassword);
    std::vector<std::string> names;
    for (const ProbeEntry& e : a.entries) names.push_back(e.name);
    // Parents before contents, names sorted within a folder.
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "empty/", "empty.dat", "sub/", "sub/deeper/",
                                               "sub/deeper/noise.bin", "sub/deeper/tiny", "sub/text.log"}));
    for (const auto& f : files) {
        const ProbeEntry* e = Find(a, f.first);
        ASSERT_NE(e, nullptr) << f.first;
        EXPECT_EQ(e->data, f.second) << f.first;
        EXPECT_EQ(e->flags, 1) << f.first << ": encrypted, no data descriptor";
        EXPECT_EQ(e->versionMadeBy >> 8, PlatformHostSystem);
        EXPECT_EQ(e->externalAttributes & 0x10, 0u);
    }
    EXPECT_EQ(Find(a, "sub/text.log")->method, 8);
    EXPECT_LT(Find(a, "sub/text.log")->compressedSize, files["sub/text.log"].size() / 3);
    EXPECT_EQ(Find(a, "sub/deeper/noise.bin")->method, 0);
    EXPECT_EQ(Find(a, "sub/deeper/noise.bin")->compressedSize, 300001u + 12);
    EXPECT_EQ(Find(a, "sub/deeper/tiny")->method, 0);
    EXPECT_EQ(Find(a, "empty.dat")->compressedSize, 12u);
    for (const char* folder : {"empty/", "sub/", "sub/deeper/"}) {
        const ProbeEntry* e = Find(a, folder);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->flags, 0) << folder << ": folders carry no data and are not encrypted";
        EXPECT_EQ(e->compressedSize, 0u);
        EXPECT_NE(e->externalAttributes & 0x10, 0u) << folder;
    }
    // A wrong password is noticed by the check byte or the data.
    EXPECT_THROW(ProbeZip(ReadFile(options.outputPath), "wrong password"), std::runtime_error);
}

TEST_F(PackArchive, PlainRoundTripWithTimes) {
    options.config.usePassword = false;
    ProbeArchive a = PackAndProbe("");
    for (const auto& f : files) {
        const ProbeEntry* e = Find(a, f.first);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->flags, 0);
        EXPECT_EQ(e->data, f.second);
        // Modification time to two seconds, in local time.
        FileInfo info = StatPath(Join(options.folder, f.first));
        std::tm tm{};
        ASSERT_TRUE(LocalTime(info.modified, tm));
        EXPECT_EQ(e->dosTime, (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2)) << f.first;
        EXPECT_EQ(e->dosDate, ((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday) << f.first;
    }
}

TEST_F(PackArchive, ReproducibleBuildsAreIdentical) {
    options.reproducible = true;
    Pack(options);
    const std::string first = ReadFile(options.outputPath);
    Pack(options);
    EXPECT_EQ(ReadFile(options.outputPath), first);
    ProbeArchive a = ProbeZip(first, LauncherArchivePassword);
    for (const ProbeEntry& e : a.entries) {
        EXPECT_EQ(e.dosDate, (1 << 5) | 1) << e.name;  // 1980-01-01
        EXPECT_EQ(e.dosTime, 0) << e.name;
    }

    // Without the option the encryption headers are random.
    options.reproducible = false;
    Pack(options);
    const std::string one = ReadFile(options.outputPath);
    Pack(options);
    EXPECT_NE(ReadFile(options.outputPath), one);
}

TEST_F(PackArchive, OutputInsideThePayloadFolderIsNotPackedIntoItself) {
    options.outputPath = Join(options.folder, "launcher.bin");
    Pack(options);
    Pack(options);  // the first output now lies in the folder
    ProbeArchive a = ProbeZip(ReadFile(options.outputPath), LauncherArchivePassword);
    EXPECT_EQ(Find(a, "launcher.bin"), nullptr);
    EXPECT_EQ(a.entries.size(), 8u);
}

TEST(PackTimes, DosTimeConversions) {
    uint16_t t = 1, d = 1;
    DosTimeFromUtc(0, t, d);  // before 1980: the earliest DOS time
    EXPECT_EQ(t, 0);
    EXPECT_EQ(d, 0x21);
    DosTimeFromUtc(1700000000, t, d);  // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(t, (22 << 11) | (13 << 5) | 10);
    EXPECT_EQ(d, ((2023 - 1980) << 9) | (11 << 5) | 14);
    DosTimeFromUtc(951782400 + 86399, t, d);  // 2000-02-29 23:59:59 UTC
    EXPECT_EQ(t, (23 << 11) | (59 << 5) | 29);
    EXPECT_EQ(d, (20 << 9) | (2 << 5) | 29);

    std::tm tm{};
    tm.tm_year = 124, tm.tm_mon = 6, tm.tm_mday = 9, tm.tm_hour = 8, tm.tm_min = 7, tm.tm_sec = 33;
    tm.tm_isdst = -1;
    ToDosTime(std::mktime(&tm), t, d);
    EXPECT_EQ(t, (8 << 11) | (7 << 5) | 16);
    EXPECT_EQ(d, (44 << 9) | (7 << 5) | 9);
    ToDosTime(0, t, d);
    EXPECT_EQ(d, 0x21);
}
