// The archive reader's read and extraction side: entry reading, CRC and
// close results, progress and aborts, unsafe paths, and archives written by
// real producers extracted byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "reader_test_util.h"
#include "zip/zip_file.h"
#include "zip/zip_fs.h"

using namespace zipreadertest;
using testsupport::Exists;
using testsupport::IsFolder;
using testsupport::Join;
using testsupport::kSep;
using testsupport::ReadFile;
using testsupport::ScratchDir;

namespace {

void Open(CZipReader& zip, const std::string& name) {
  ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive(name), ModeOpenReadOnly, 0); }), 0) << name;
}

// Records every call of the progress interface; Step answers false on the
// call numbered `abortAt` (from 1).
struct Recorder : CZipProgress {
  std::vector<std::string> calls;
  int steps = 0;
  int abortAt = 0;
  bool Step(int32_t n) override {
    calls.push_back("step " + std::to_string(n));
    return ++steps != abortAt;
  }
  void Begin(const std::string& a, const std::string& b) override {
    CZipProgress::Begin(a, b);
    calls.push_back("begin");
  }
  void SetWorkTotal(int64_t t) override {
    CZipProgress::SetWorkTotal(t);
    calls.push_back("total " + std::to_string(t));
  }
  void End() override { calls.push_back("end"); }
};

TEST(ZipRead, RefusalsAndEmptyCalls) {
  CZipReader zip;
  CZipEntryHeader h;
  h.crc32 = 77;
  EXPECT_FALSE(zip.GetEntryInfo(h, 0));  // closed: record unchanged
  EXPECT_EQ(h.crc32, 77u);
  EXPECT_FALSE(zip.OpenEntry(0));
  EXPECT_FALSE(zip.ExtractEntry(0, nullptr, true, nullptr, 65536));
  char buf[16];
  EXPECT_EQ(zip.ReadEntry(buf, sizeof buf), 0u);
  EXPECT_EQ(zip.CloseEntry(nullptr, false), 0);
  zip.CloseArchive(0, false);  // nothing open: nothing happens

  Open(zip, "py_stored.zip");
  const int count = zip.GetCount();
  Open(zip, "izip_6.zip");  // already open: ignored
  EXPECT_EQ(zip.GetCount(), count);
  EXPECT_FALSE(zip.GetEntryInfo(h, count));
  EXPECT_FALSE(zip.OpenEntry(count));
  EXPECT_FALSE(zip.OpenEntry(-1));
  EXPECT_FALSE(zip.ExtractEntry(0, nullptr, true, nullptr, 0));

  int i = FindEntry(zip, "top.txt");
  ASSERT_TRUE(zip.OpenEntry(i));
  EXPECT_FALSE(zip.OpenEntry(i));  // one entry at a time
  EXPECT_EQ(zip.ReadEntry(nullptr, 10), 0u);
  EXPECT_EQ(zip.ReadEntry(buf, 0), 0u);
  EXPECT_EQ(zip.ReadEntry(buf, 5), 5u);
  EXPECT_EQ(zip.CloseEntry(nullptr, false), -1);  // closed early
  EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);

  // An empty stored entry: nothing to read, CRC 0.
  i = FindEntry(zip, "empty.bin");
  ASSERT_TRUE(zip.OpenEntry(i));
  EXPECT_EQ(zip.ReadEntry(buf, sizeof buf), 0u);
  EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
}

TEST(ZipRead, OneByteCallsMatchOneLargeCall) {
  for (const char* archive : {"izip_9.zip", "izip_crypt.zip", "izip_stored.zip"}) {
    SCOPED_TRACE(archive);
    CZipReader zip;
    Open(zip, archive);
    zip.SetArchivePassword(kPassword);
    int i = FindEntry(zip, "bin/mixed.dat");
    ASSERT_GE(i, 0);
    std::string large = ReadAll(zip, i, 4 << 20);
    EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
    std::string small = ReadAll(zip, i, 1);
    EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);  // CRC checked over 1-byte pieces
    EXPECT_EQ(small.size(), large.size());
    EXPECT_TRUE(small == large);
    EXPECT_TRUE(large == Payload("bin/mixed.dat"));
    EXPECT_EQ(zip.ZlibBlockCount(), 0u);
  }
}

TEST(ZipRead, DamagedData) {
  {
    // Wrong CRC: every byte is delivered, then 102; the entry is closed, so
    // the next one extracts.
    CZipReader zip;
    Open(zip, "bad_crc.zip");
    ScratchDir dir;
    EXPECT_EQ(ErrorOf([&] { zip.ExtractEntry(0, dir.Path().c_str(), true, nullptr, 65536); }),
              ErrCrcMismatch);
    std::string expected;
    for (int k = 0; k < 100; ++k) expected += "alpha\n";
    EXPECT_EQ(ReadFile(dir / "a.txt"), expected);
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
    EXPECT_EQ(zip.ZlibBlockCount(), 0u);
    EXPECT_TRUE(zip.ExtractEntry(1, dir.Path().c_str(), true, nullptr, 65536));
    EXPECT_TRUE(Exists(dir / "b.txt"));

    // An output file that cannot be made (a folder holds its name) closes
    // the entry as well.
    ScratchDir blocked;
    ASSERT_TRUE(ZipFs::ForceFolder(blocked / "b.txt"));
    EXPECT_EQ(ErrorOf([&] { zip.ExtractEntry(1, blocked.Path().c_str(), true, nullptr, 65536); }), -1);
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
    EXPECT_TRUE(zip.ExtractEntry(1, dir.Path().c_str(), true, nullptr, 65536));
  }
  {
    // A stored entry whose compressed size differs from its size is
    // refused when it is opened.
    CZipReader zip;
    Open(zip, "stored_short.zip");
    EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(0); }), ErrDamagedArchive);
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
  }
  {
    // Damaged deflate data: zlib's data error, blocks released at close.
    CZipReader zip;
    Open(zip, "bad_deflate.zip");
    ScratchDir dir;
    EXPECT_EQ(ErrorOf([&] { zip.ExtractEntry(0, dir.Path().c_str(), true, nullptr, 65536); }),
              ErrZlibData);
    zip.CloseArchive(0, false);
    EXPECT_EQ(zip.ZlibBlockCount(), 0u);
    EXPECT_TRUE(zip.IsClosed(true));
  }
}

TEST(ZipExtract, TargetPaths) {
  const std::string s(1, kSep);
#ifdef _WIN32
  EXPECT_EQ(CZipReader::BuildTargetPath("a\\b.txt", "C:\\work\\", true, nullptr),
            "C:\\work\\a\\b.txt");
  EXPECT_EQ(CZipReader::BuildTargetPath("a\\b.txt", "C:\\work\\", false, nullptr),
            "C:\\work\\b.txt");
  EXPECT_EQ(CZipReader::BuildTargetPath("C:\\x\\y.txt", "C:\\work", true, nullptr),
            "C:\\work\\x\\y.txt");
  EXPECT_EQ(CZipReader::BuildTargetPath("\\\\srv\\sh\\f.txt", "C:\\work", true, nullptr),
            "C:\\work\\srv\\sh\\f.txt");
#endif
  const std::string root = s + "work";
  EXPECT_EQ(CZipReader::BuildTargetPath(Native("a/b.txt"), (root + s + s).c_str(), true, nullptr),
            root + s + Native("a/b.txt"));
  EXPECT_EQ(CZipReader::BuildTargetPath(Native("docs/"), root.c_str(), true, nullptr),
            root + s + "docs");
  EXPECT_EQ(CZipReader::BuildTargetPath(Native("a/b.txt"), "", true, nullptr), Native("a/b.txt"));
  EXPECT_EQ(CZipReader::BuildTargetPath(Native("a/b.txt"), nullptr, true, nullptr),
            Native("a/b.txt"));
  EXPECT_EQ(CZipReader::BuildTargetPath(Native("a/b.txt"), root.c_str(), true, "n.txt"),
            root + s + "n.txt");
  EXPECT_EQ(CZipReader::BuildTargetPath("", root.c_str(), true, nullptr), root);
}

TEST(ZipExtract, FolderEntryAndProgressReports) {
  CZipReader zip;
  Open(zip, "izip_6.zip");
  Recorder sink;
  zip.SetProgressSink(&sink, ProgressExtract);
  ScratchDir dir;

  int folder = FindEntry(zip, "emptydir/");
  ASSERT_GE(folder, 0);
  EXPECT_TRUE(zip.ExtractEntry(folder, dir.Path().c_str(), true, nullptr, 65536));
  EXPECT_TRUE(IsFolder(dir / "emptydir"));
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"begin", "total 0", "end"}));
  EXPECT_EQ(sink.kind, static_cast<int32_t>(ProgressExtract));
  EXPECT_EQ(sink.fileInArchive, Native("emptydir/"));

  // 131072 bytes with a 65536-byte buffer: two reports.
  sink.calls.clear();
  int exact = FindEntry(zip, "bin/exact.bin");
  EXPECT_TRUE(zip.ExtractEntry(exact, dir.Path().c_str(), true, nullptr, 65536));
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"begin", "total 131072", "step 65536",
                                                  "step 65536", "end"}));
  EXPECT_EQ(sink.workDone, 131072);
  EXPECT_EQ(sink.externalFile, Join(dir.Path(), Native("bin/exact.bin")));
  EXPECT_EQ(ReadFile(dir / Native("bin/exact.bin")), Payload("bin/exact.bin"));

  // An empty file: no report.
  sink.calls.clear();
  EXPECT_TRUE(zip.ExtractEntry(FindEntry(zip, "empty.txt"), dir.Path().c_str(), true, nullptr,
                               65536));
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"begin", "total 0", "end"}));
  EXPECT_TRUE(Exists(dir / "empty.txt"));

  // Without full path the file lands directly in the folder.
  EXPECT_TRUE(zip.ExtractEntry(FindEntry(zip, "docs/sub/deep.txt"), dir.Path().c_str(), false,
                               nullptr, 100));
  EXPECT_EQ(ReadFile(dir / "deep.txt"), Payload("docs/sub/deep.txt"));

  // Removing the sink stops the reports.
  sink.calls.clear();
  zip.SetProgressSink(nullptr, ProgressExtract);
  EXPECT_TRUE(zip.ExtractEntry(exact, dir.Path().c_str(), true, nullptr, 65536));
  EXPECT_TRUE(sink.calls.empty());
  // Registration is per bit: kind 8 is not reached through other bits.
  zip.SetProgressSink(&sink, 0x7F7);
  EXPECT_TRUE(zip.ExtractEntry(exact, dir.Path().c_str(), true, nullptr, 65536));
  EXPECT_TRUE(sink.calls.empty());
}

TEST(ZipExtract, AbortCodes) {
  struct Case {
    uint32_t buffer;
    int abortAt;
    int code;
    size_t written;
  } cases[] = {
      {65536, 1, ErrAborted, 65536},         // full buffer, more follows
      {65536, 2, ErrAbortedSafely, 131072},  // full buffer that is the last
      {100000, 2, ErrAbortedSafely, 131072}, // last, short buffer
      {100000, 1, ErrAborted, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buffer + c.abortAt);
    CZipReader zip;
    Open(zip, "izip_crypt.zip");
    zip.SetArchivePassword(kPassword);
    Recorder sink;
    sink.abortAt = c.abortAt;
    zip.SetProgressSink(&sink, ProgressExtract);
    ScratchDir dir;
    std::string fileName;
    EXPECT_EQ(ErrorOf([&] {
                zip.ExtractEntry(FindEntry(zip, "bin/exact.bin"), dir.Path().c_str(), true,
                                 nullptr, c.buffer);
              },
              &fileName),
              c.code);
    const std::string target = dir / Native("bin/exact.bin");
    EXPECT_EQ(fileName, target);
    EXPECT_EQ(sink.calls.back(), "end");
    // The partial file stays, closed, with the entry's time.
    std::string data = ReadFile(target);
    EXPECT_EQ(data.size(), c.written);
    EXPECT_EQ(data, Payload("bin/exact.bin").substr(0, c.written));
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
    // The next entry extracts normally.
    EXPECT_TRUE(zip.SetArchivePassword(kPassword));
    sink.abortAt = 0;
    EXPECT_TRUE(zip.ExtractEntry(FindEntry(zip, "readme.txt"), dir.Path().c_str(), true, nullptr,
                                 c.buffer));
  }
}

TEST(ZipExtract, EntriesLeavingTheTargetFolderAreRefused) {
  struct Case {
    const char* archive;
    bool refused;
  } cases[] = {
    {"slip_dotdot.zip", true},
    {"slip_inner.zip", true},
    {"slip_backslash.zip", true},
#ifdef _WIN32
    {"slip_absolute.zip", false},  // the leading separator is dropped
#else
    {"slip_absolute.zip", true},
#endif
    {"dotdot_name.zip", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    ScratchDir dir;
    const std::string target = dir / "t";
    testsupport::MakeFolder(target);
    CZipReader zip;
    Open(zip, c.archive);
    Recorder sink;
    zip.SetProgressSink(&sink, ProgressExtract);
    int refusals = 0;
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipEntryHeader h;
      ASSERT_TRUE(zip.GetEntryInfo(h, i));
      std::string name;
      int code = ErrorOf([&] { zip.ExtractEntry(i, target.c_str(), true, nullptr, 65536); }, &name);
      if (code) {
        EXPECT_EQ(code, ErrUnsafePath);
        EXPECT_EQ(name, h.GetName());
        ++refusals;
      }
    }
    EXPECT_EQ(refusals > 0, c.refused);
    EXPECT_FALSE(Exists(dir / "evil.txt"));
    EXPECT_FALSE(Exists(Join(dir.Path(), "..") + kSep + "evil.txt"));
    if (c.refused) {
      EXPECT_EQ(std::count(sink.calls.begin(), sink.calls.end(), "begin"),
                zip.GetCount() - refusals);
    }
  }
#ifdef _WIN32
  CZipReader zip;
  Open(zip, "slip_drive.zip");
  ScratchDir dir;
  EXPECT_TRUE(zip.ExtractEntry(0, dir.Path().c_str(), true, nullptr, 65536));
  EXPECT_EQ(ReadFile(dir / "x\\y.txt"), "drive\n");
#endif
}

// Every producer's archive, every byte compared with the payload.
TEST(ZipCompatibility, ProducersExtractByteForByte) {
  struct Case {
    const char* archive;
    bool encrypted;
    bool folders;
  } cases[] = {
      {"izip_stored.zip", false, true},   {"izip_6.zip", false, true},
      {"izip_9.zip", false, true},        {"izip_crypt.zip", true, true},
      {"izip_stream.zip", false, false},  {"izip_stream_crypt.zip", true, false},
      {"7z_crypt.zip", true, true},       {"7z_stored.zip", false, true},
      {"behind_exe.zip", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    CZipReader zip;
    Open(zip, c.archive);
    ScratchDir dir;
    int files = 0;
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipEntryHeader h;
      ASSERT_TRUE(zip.GetEntryInfo(h, i));
      if (c.encrypted) {
        ASSERT_TRUE(zip.SetArchivePassword(kPassword));
      }
      bool ok = false;
      EXPECT_EQ(ErrorOf([&] { ok = zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 65536); }),
                0)
          << h.GetName();
      EXPECT_TRUE(ok) << h.GetName();
      if (!h.IsFolder()) {
        ++files;
        EXPECT_EQ(h.IsEncrypted(), c.encrypted);
      }
    }
    EXPECT_EQ(files, static_cast<int>(PayloadFiles().size()));
    for (const std::string& name : PayloadFiles()) {
      SCOPED_TRACE(name);
      std::string got = ReadFile(dir / Native(name));
      EXPECT_TRUE(got == Payload(name)) << got.size();
      struct stat st;
      ASSERT_EQ(stat((dir / Native(name)).c_str(), &st), 0);
      CZipEntryHeader h;
      ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, name)));
      EXPECT_EQ(st.st_mtime, h.GetModTime());
    }
    if (c.folders) {
      EXPECT_TRUE(IsFolder(dir / "emptydir"));
    }
    zip.CloseArchive(0, false);
  }
}

TEST(ZipCompatibility, PythonZipfileAndOddArchives) {
  for (const char* archive : {"py_stored.zip", "py_deflated.zip", "behind_1000.zip",
                              "izip_pipe.zip", "hosts.zip", "comment_max.zip"}) {
    SCOPED_TRACE(archive);
    CZipReader zip;
    Open(zip, archive);
    ScratchDir dir;
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipEntryHeader h;
      ASSERT_TRUE(zip.GetEntryInfo(h, i));
      bool ok = false;
      EXPECT_EQ(ErrorOf([&] { ok = zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 4096); }),
                0);
      EXPECT_TRUE(ok) << h.GetName();
    }
  }
  CZipReader zip;
  Open(zip, "py_deflated.zip");
  ScratchDir dir;
  for (int i = 0; i < zip.GetCount(); ++i) zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 7);
  EXPECT_TRUE(IsFolder(dir / "dir"));
  std::string inner;
  for (int k = 0; k < 300; ++k) inner += "inner text\n";
  EXPECT_EQ(ReadFile(dir / Native("dir/inner.txt")), inner);
  EXPECT_EQ(ReadFile(dir / "empty.bin"), "");
}

TEST(ZipArchive, CloseWritesNothing) {
  ScratchDir dir;
  const std::string copy = dir / "copy.zip";
  testsupport::WriteFile(copy, ReadFile(Archive("izip_crypt.zip")));
  struct stat before;
  ASSERT_EQ(stat(copy.c_str(), &before), 0);
  {
    CZipReader zip;
    ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(copy, ModeOpenReadOnly, 0); }), 0);
    zip.SetArchivePassword(kPassword);
    ASSERT_TRUE(zip.OpenEntry(0));
    zip.CloseArchive(0, false);  // closes the open entry too
    EXPECT_TRUE(zip.IsClosed(true));
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
  }
  struct stat after;
  ASSERT_EQ(stat(copy.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtime, before.st_mtime);
  EXPECT_EQ(ReadFile(copy), ReadFile(Archive("izip_crypt.zip")));
}

TEST(ZipExtract, NamesArriveExactlyOrNotAtAll) {
  ScratchDir dir;
  CZipReader zip;
  Open(zip, "name_forms.zip");
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntryHeader h;
    ASSERT_TRUE(zip.GetEntryInfo(h, i));
    std::string name;
    const int code = ErrorOf([&] { zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 65536); }, &name);
    if (h.HasUsableName()) {
      EXPECT_EQ(code, 0) << i;
      EXPECT_EQ(ReadFile(dir / h.GetName()), std::to_string(i));
    } else {
      // Refused before anything was made; the message shows the bytes.
      EXPECT_EQ(code, ErrBadEntryName) << i;
      EXPECT_EQ(name, h.GetDisplayName());
    }
  }
  std::vector<std::string> made = testsupport::ListFolder(dir.Path());
  std::vector<std::string> usable;
  for (const std::string& n : Names(zip)) {
    CZipEntryHeader h;
    zip.GetEntryInfo(h, FindEntry(zip, n));
    if (h.HasUsableName()) usable.push_back(n);
  }
  std::sort(made.begin(), made.end());
  std::sort(usable.begin(), usable.end());
  EXPECT_EQ(made, usable);
}

}  // namespace
