// The archive reader on hostile archives: a descriptor that disagrees, a
// stored entry larger than its size, names that are the target folder or its
// parent, sizes beyond 2 GiB, overlapping entries, split archives and names
// Windows would not create as written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "reader_test_util.h"

using namespace zipreadertest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::ScratchDir;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

int OpenError(CZipReader& zip, const std::string& name) {
  return ErrorOf([&] { zip.OpenArchive(Archive(name), ModeOpenReadOnly, 0); });
}

// Extracts every entry below `target` as the launcher does; the error codes
// in entry order (0 = extracted).
std::vector<int> ExtractAll(const std::string& archive, const std::string& target) {
  CZipReader zip;
  EXPECT_EQ(OpenError(zip, archive), 0) << archive;
  std::vector<int> codes;
  for (int i = 0; i < zip.GetCount(); ++i)
    codes.push_back(ErrorOf([&] { zip.ExtractEntry(i, target.c_str(), true, nullptr, 65536); }));
  zip.CloseArchive(0, false);
  return codes;
}

unsigned Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return static_cast<unsigned>(st.st_mode);
}

struct Recorder : CZipProgress {
  int64_t total = -1;
  bool Step(int32_t) override { return true; }
  void SetWorkTotal(int64_t t) override { total = t; }
};

}  // namespace

TEST(ZipHardening, DescriptorMismatchClosesTheEntry) {
  // The launcher's sequence: the failed entry, then the archive's close.
  for (const char* archive : {"descriptor_bad.zip", "descriptor_zip64.zip"}) {
    SCOPED_TRACE(archive);
    ScratchDir dir;
    CZipReader zip;
    ASSERT_EQ(OpenError(zip, archive), 0);
    EXPECT_EQ(ErrorOf([&] { zip.ExtractEntry(0, dir.Path().c_str(), true, nullptr, 65536); }),
              ErrDamagedArchive);
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
    EXPECT_EQ(ErrorOf([&] { zip.CloseArchive(0, false); }), 0);
    EXPECT_TRUE(zip.IsClosed(true));
  }
}

TEST(ZipHardening, StoredSizesThatDisagreeAreDamage) {
  // 100 stored bytes for an entry of 0 once kept the read loop turning.
  for (const char* archive : {"stored_oversized.zip", "stored_short.zip"}) {
    SCOPED_TRACE(archive);
    ScratchDir dir;
    EXPECT_EQ(ExtractAll(archive, dir.Path()), std::vector<int>{ErrDamagedArchive});
    EXPECT_FALSE(Exists(dir / "z.bin"));
    EXPECT_FALSE(Exists(dir / "short.txt"));
  }
}

TEST(ZipHardening, NamesOfTheTargetOrItsParentChangeNothing) {
  ScratchDir dir;
  const std::string target = dir / "work";
  testsupport::MakeFolder(target);
  chmod(target.c_str(), 0700);
  const unsigned parentMode = Mode(dir.Path());
  const unsigned targetMode = Mode(target);
  struct Case {
    const char* archive;
    int firstEntry;  // the odd entry; "ok.txt" follows it where there is one
  } cases[] = {
      {"name_dot_slash.zip", 0},  // folder entries for the target itself: nothing to do
      {"name_dot.zip", 0},
      {"name_empty.zip", 0},
      {"name_dotdot_zero.zip", ErrUnsafePath},  // "..", then a zero byte
      {"name_zero_inside.zip", ErrUnsafePath},
      {"name_dot_file.zip", ErrUnsafePath},  // a file cannot be the target folder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    std::vector<int> codes = ExtractAll(c.archive, target);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes[0], c.firstEntry);
    if (codes.size() > 1) {
      EXPECT_EQ(ReadFile(target + testsupport::kSep + "ok.txt"), "fine\n");
    }
    EXPECT_EQ(Mode(target), targetMode);
    EXPECT_EQ(Mode(dir.Path()), parentMode);
  }
}

TEST(ZipHardening, SizesBeyondTwoGibibytesReachTheSinkWhole) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "declares_3gib.zip"), 0);
  Recorder sink;
  zip.SetProgressSink(&sink, ProgressExtract);
  ScratchDir dir;
  EXPECT_FALSE(zip.ExtractEntry(0, dir.Path().c_str(), true, nullptr, 65536));  // ends early
  EXPECT_EQ(sink.total, int64_t{3} << 30);
}

TEST(ZipHardening, OverlappingAndSplitArchivesAreDamaged) {
  for (const char* archive : {"overlap.zip", "split_end.zip", "split_entry.zip"}) {
    SCOPED_TRACE(archive);
    CZipReader zip;
    EXPECT_EQ(OpenError(zip, archive), ErrDamagedArchive);
    zip.CloseArchive(1, false);
  }
}

TEST(ZipHardening, NamesWindowsWouldNotKeep) {
  for (const char* archive : {"winname_device.zip", "winname_device_ext.zip", "winname_com.zip",
                              "winname_stream.zip", "winname_trailing_dot.zip",
                              "winname_trailing_blank.zip", "winname_trailing_dot_file.zip"}) {
    SCOPED_TRACE(archive);
    ScratchDir dir;
    // Elsewhere these are ordinary names.
    EXPECT_EQ(ExtractAll(archive, dir.Path()), std::vector<int>{kWindows ? ErrUnsafePath : 0});
  }
}
