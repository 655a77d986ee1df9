#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <utility>

#include <zlib.h>

#include "layout_writer.h"
#include "pack_fs.h"
#include "pack_test_util.h"
#include "zip_probe.h"
#include "launcher/configuration.h"
#include "zip_records.h"
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

namespace {

// Writes an archive with the writer alone (fixed times, attributes and host,
// derived encryption headers), so that its bytes do not depend on the
// platform or the file system; returns them.
std::string WriteFixedArchive(const std::string& path, const ZipWriterOptions& options,
                              const std::vector<std::pair<std::string, std::string>>& entries,
                              const std::string& scratch) {
    CPackFile out;
    EXPECT_TRUE(out.CreateNew(path));
    CZipWriter writer(out, options);
    int n = 0;
    for (const auto& entry : entries) {
        ZipEntrySpec spec;
        spec.name = entry.first;
        spec.dosTime = 0x6000;
        spec.dosDate = 0x5921;
        if (spec.name.back() == '/') {
            spec.externalAttributes = 0x41ED0010;
            writer.AddFolder(spec);
        } else {
            spec.externalAttributes = 0x81A40000;
            const std::string source = Join(scratch, "f" + std::to_string(n++));
            WriteFile(source, entry.second);
            writer.AddFile(spec, source, nullptr);
        }
    }
    writer.Finish();
    out.Close();
    return ReadFile(path);
}

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

// Archives that need no Zip64 record come out exactly as the writer made
// them before it knew Zip64 (length and CRC-32 of that output): a mixed
// payload, encrypted and not, and 65,535 entries, the most that fit.
TEST(ZipWriterBytes, ArchivesThatNeedNoZip64AreUnchanged) {
    testsupport::ScratchDir dir;
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "row " + std::to_string(i) + "\n";
    const std::vector<std::pair<std::string, std::string>> mixed = {
        {"dir/", ""}, {"dir/text.txt", text}, {"dir/noise.bin", NoiseBytes(70000, 5)},
        {"empty", ""}, {"x", "x"}, {"r\xc3\xa9sum\xc3\xa9.txt", "cv\n"}};
    ZipWriterOptions options;
    options.hostSystem = 3;
    options.deterministicHeaders = true;
    const std::string plain = WriteFixedArchive(dir / "plain.zip", options, mixed, dir.Path());
    options.password = LauncherArchivePassword;
    const std::string encrypted = WriteFixedArchive(dir / "encrypted.zip", options, mixed, dir.Path());

    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 65535; ++i) many.emplace_back("d" + std::to_string(i) + "/", "");
    options = ZipWriterOptions();
    options.hostSystem = 3;
    const std::string most = WriteFixedArchive(dir / "most.zip", options, many, dir.Path());

    EXPECT_EQ(plain.size(), 82238u);
    EXPECT_EQ(Crc(plain), 0xE23053B8u);
    EXPECT_EQ(encrypted.size(), 82298u);
    EXPECT_EQ(Crc(encrypted), 0x7D74A852u);
    EXPECT_EQ(most.size(), 5875952u);
    EXPECT_EQ(Crc(most), 0x34B6A2EBu);
}

// Values past 4 GiB that a test cannot cheaply write: the field holds the
// marker, the Zip64 field the values that do not fit, in the order
// uncompressed size, compressed size, offset; the local header holds both
// sizes; the end record points on to the Zip64 end record.
TEST(ZipRecords, ValuesPast4GiBGoToZip64Fields) {
    const uint64_t beyond = 5ull << 30;
    auto get64 = [](const std::string& s, size_t at) { return Get32(s, at) | uint64_t{Get32(s, at + 4)} << 32; };
    ZipHeaderFields e;
    e.name = "big";
    e.compressedSize = 1000;
    e.uncompressedSize = beyond + 1;
    e.localOffset = beyond + 2;
    e.localZip64 = true;
    const std::string central = CentralHeader(e, 3);
    EXPECT_EQ(Get16(central, 6), 45u);
    EXPECT_EQ(Get32(central, 20), 1000u);
    EXPECT_EQ(Get32(central, 24), 0xFFFFFFFFu);
    EXPECT_EQ(Get32(central, 42), 0xFFFFFFFFu);
    EXPECT_EQ(central.substr(46 + 3, 4), std::string("\x01\x00\x10\x00", 4));
    EXPECT_EQ(get64(central, 53), beyond + 1);
    EXPECT_EQ(get64(central, 61), beyond + 2);
    EXPECT_EQ(central.size(), 46u + 3 + 20);

    const std::string local = LocalHeader(e);
    EXPECT_EQ(Get32(local, 18), 0xFFFFFFFFu);
    EXPECT_EQ(Get32(local, 22), 0xFFFFFFFFu);
    EXPECT_EQ(local.substr(30 + 3, 4), std::string("\x01\x00\x10\x00", 4));
    EXPECT_EQ(get64(local, 37), beyond + 1);  // uncompressed size first
    EXPECT_EQ(get64(local, 45), 1000u);

    const std::string end = EndRecords(3, 200, beyond);
    ASSERT_EQ(end.size(), 56u + 20 + 22);
    EXPECT_EQ(Get32(end, 0), 0x06064b50u);
    EXPECT_EQ(Get32(end, 56), 0x07064b50u);
    EXPECT_EQ(get64(end, 64), beyond + 200);
    EXPECT_EQ(Get16(end, 76 + 10), 3u);
    EXPECT_EQ(Get32(end, 76 + 12), 200u);
    EXPECT_EQ(Get32(end, 76 + 16), 0xFFFFFFFFu);
}
