// A solid payload made by kvsfx-pack's writer, extracted the way the launcher
// does it, on one worker and on several: the same files, the same failure
// (the first damaged part in archive order, whichever part a worker reached
// first) and the same cancel. Run under ThreadSanitizer by native-tsan.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "launcher/configuration.h"
#include "solid/solid_member_writer.h"
#include "solid/solid_payload.h"
#include "solid_writer.h"
#include "folder_scan.h"
#include "test_support.h"
#include "zip/zip_exception.h"
#include "zip/zip_output_tree.h"
#include "zip/zip_progress.h"
#include "zip/zip_reader.h"

using namespace testsupport;

namespace {

// Files of a few kinds, enough for several parts of 64 KiB.
std::vector<std::pair<std::string, std::string>> SourceFiles() {
    std::vector<std::pair<std::string, std::string>> files;
    unsigned seed = 7;
    for (int i = 0; i < 12; ++i) {
        std::string data(20000 + i * 9000, '\0');
        for (char& c : data) c = static_cast<char>("abcdefgh \n"[(seed = seed * 1103515245 + 12345) >> 28 & 7]);
        files.emplace_back("dir" + std::to_string(i % 3) + "/file" + std::to_string(i) + ".txt", data);
    }
    files.emplace_back("empty.txt", "");
    return files;
}

struct Built {
    std::string archive;
    int parts = 0;
};

Built BuildArchive(const ScratchDir& dir) {
    MakeFolder(dir / "tree");
    for (const char* folder : {"tree/dir0", "tree/dir1", "tree/dir2"}) MakeFolder(dir / folder);
    for (const auto& file : SourceFiles()) WriteFile(dir / ("tree/" + file.first), file.second);
    Built built;
    built.archive = dir / "payload.zip";
    kvpack::CPackFile out;
    EXPECT_TRUE(out.CreateNew(built.archive));
    kvpack::ZipWriterOptions options;
    options.password = LauncherArchivePassword;
    kvpack::CZipWriter writer(out, options);
    kvpack::SolidOptions solid;
    solid.partSize = 64 * 1024;
    const kvpack::ScanResult scan = kvpack::ScanFolder(dir / "tree", {});
    built.parts = static_cast<int>(kvpack::WriteSolidPayload(writer, scan.items, solid, kvpack::ZipEntrySpec(),
                                                             dir / "temporary", nullptr));
    writer.Finish();
    out.Close();
    return built;
}

// Flips a byte in the data of the part named `name`: near its start, or
// near its end (found before the next entry's local header).
void Damage(const std::string& archive, const std::string& name, bool nearEnd) {
    std::string bytes = ReadFile(archive);
    const size_t at = bytes.find(name);
    ASSERT_NE(at, std::string::npos);
    const size_t next = bytes.find(std::string("PK\x03\x04", 4), at);
    ASSERT_NE(next, std::string::npos);
    bytes[nearEnd ? next - 100 : at + name.size() + 200] ^= 0x55;
    WriteFile(archive, bytes);
}

// Stops the extraction once `limit` bytes have been reported.
class StopAfter : public CZipProgress {
public:
    explicit StopAfter(int64_t limit) : limit(limit) {}
    bool Step(int32_t) override { return workDone < limit; }

private:
    int64_t limit;
};

struct Outcome {
    ExtractResult result = ExtractResult::Done;
    std::string failedName;
    int failedCode = 0;
};

Outcome Extract(const std::string& archive, const std::string& target, unsigned workers,
                CZipProgress* progress = nullptr) {
    CZipReader reader;
    reader.OpenArchive(archive, ModeOpenReadOnly, 0);
    CSolidPayload payload;
    payload.Open(reader, archive, LauncherArchivePassword);
    reader.CloseArchive(0, false);
    CZipOutputTree tree;
    ExtractFailure failure;
    Outcome outcome;
    outcome.result = payload.Extract([&](int) { return std::make_unique<CSolidMemberWriter>(tree, target); },
                                     workers, progress, failure);
    if (failure.error) {
        outcome.failedName = failure.name;
        if (failure.error->IsKindOf(RUNTIME_CLASS(CZipException)))
            outcome.failedCode = static_cast<CZipException*>(failure.error)->errorCode;
        failure.error->Delete();
    }
    return outcome;
}

}  // namespace

TEST(SolidPayload, SameFilesOnOneAndSeveralWorkers) {
    ScratchDir dir;
    const Built built = BuildArchive(dir);
    ASSERT_GE(built.parts, 4);
    for (unsigned workers : {1u, 2u, 4u}) {
        const std::string target = dir / ("out" + std::to_string(workers));
        MakeFolder(target);
        const Outcome outcome = Extract(built.archive, target, workers);
        EXPECT_EQ(outcome.result, ExtractResult::Done) << workers << " " << outcome.failedName;
        for (const auto& file : SourceFiles())
            EXPECT_EQ(ReadFile(Join(target, file.first)), file.second) << workers << " " << file.first;
    }
}

TEST(SolidPayload, FirstDamagedPartInArchiveOrderIsReported) {
    // One damaged part, then two: the earlier one is reported, also when its
    // damage lies near its end and the later part's near its start, so that
    // several workers meet the later one first.
    for (const std::vector<std::string>& damaged :
         {std::vector<std::string>{"payload.tar.xz.003"}, {"payload.tar.xz.002", "payload.tar.xz.004"}}) {
        ScratchDir dir;
        const Built built = BuildArchive(dir);
        for (const std::string& name : damaged) Damage(built.archive, name, damaged.size() > 1 && name == damaged[0]);
        std::vector<Outcome> outcomes;
        for (unsigned workers : {1u, 2u, 4u}) {
            const std::string target = dir / ("out" + std::to_string(workers));
            MakeFolder(target);
            outcomes.push_back(Extract(built.archive, target, workers));
            EXPECT_EQ(outcomes.back().result, ExtractResult::Failed) << workers;
        }
        for (const Outcome& outcome : outcomes) {
            EXPECT_EQ(outcome.failedCode, outcomes[0].failedCode);
            EXPECT_EQ(outcome.failedName, outcomes[0].failedName);
        }
        EXPECT_NE(outcomes[0].failedCode, 0);
        EXPECT_EQ(outcomes[0].failedName, damaged[0]);
    }
}

TEST(SolidPayload, CancelEndsEveryWorker) {
    ScratchDir dir;
    const Built built = BuildArchive(dir);
    for (unsigned workers : {1u, 2u, 4u}) {
        const std::string target = dir / ("out" + std::to_string(workers));
        MakeFolder(target);
        StopAfter stop(100000);
        EXPECT_EQ(Extract(built.archive, target, workers, &stop).result, ExtractResult::Cancelled) << workers;
    }
}
