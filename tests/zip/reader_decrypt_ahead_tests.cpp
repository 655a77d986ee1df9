// Encrypted entries read and decrypted ahead on a second thread, across
// entries: the same bytes, errors, progress and cancel points as on one
// thread, for every producer's archive, damaged entries, a wrong password,
// a failing file and entries decrypted long before the reader reaches them;
// the worker ends with the archive, whichever way it closes.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

#include <chrono>
#include <cstring>
#include <thread>

#include "pack_builder.h"
#include "reader_test_util.h"
#include "zip/zip_decrypt_ahead.h"
#include "framework/file_exception.h"
#include "zip/zip_mem_file.h"
#include "zip/zip_store.h"

using namespace zipreadertest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using Use = CZipDecryptAhead::Use;

namespace {

// The path entries take while the object lives.
class ForcedPath {
 public:
  explicit ForcedPath(Use use) { CZipDecryptAhead::use = use; }
  ~ForcedPath() { CZipDecryptAhead::use = Use::Auto; }
  ForcedPath(const ForcedPath&) = delete;
  ForcedPath& operator=(const ForcedPath&) = delete;
};

// Records the progress steps of one entry, notes whether the entry was being
// decrypted ahead, and stops the entry at step `abortAt` (from 1). With
// `waitAhead`, the entry's first step waits until the worker has decrypted
// two more entries to their end (or all of them).
struct StepRecorder : CZipProgress {
  explicit StepRecorder(const CZipReader& zip) : zip(zip) {}
  bool Step(int32_t n) override {
    steps += " " + std::to_string(n);
    if (zip.DecryptingAhead()) {
      ++stepsAhead;
      if (waitAhead && count == 0) WaitForTheWorker();
    }
    return ++count != abortAt;
  }
  void WaitForTheWorker() {
    const int target = std::min(entry + 2, zip.GetCount() - 1);
    for (int ms = 0; ms < 10000 && zip.LastEntryDecryptedAhead() < target; ++ms)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(zip.LastEntryDecryptedAhead(), target) << entry;
  }
  const CZipReader& zip;
  std::string steps;
  int count = 0;
  int abortAt = 0;
  int stepsAhead = 0;
  int entry = 0;
  bool waitAhead = false;
};

struct Outcome {
  // Per entry: name, error code, progress steps and size; and the bytes
  // written (compared, not printed).
  std::vector<std::string> entries;
  std::vector<std::string> bytes;
  int stepsAhead = 0;
};

struct RunOptions {
  std::string password = kPassword;
  int abortAt = 0;
  // Only this entry stops at abortAt (-1: every entry).
  int abortEntry = -1;
  bool waitAhead = false;
  uint32_t bufferSize = 65536;
  // Read from this file instead of the archive's path.
  CZipFileBase* file = nullptr;
};

Outcome ExtractAll(const std::string& archive, Use use, const RunOptions& run = RunOptions()) {
  ForcedPath forced(use);
  Outcome outcome;
  CZipReader zip;
  EXPECT_EQ(ErrorOf([&] {
              if (run.file)
                zip.OpenArchive(*run.file, ModeOpenReadOnly);
              else
                zip.OpenArchive(archive, ModeOpenReadOnly, 0);
            }),
            0)
      << archive;
  StepRecorder sink(zip);
  sink.waitAhead = run.waitAhead && use == Use::TwoThreads;
  zip.SetProgressSink(&sink, ProgressExtract);
  ScratchDir dir;
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntryHeader h;
    EXPECT_TRUE(zip.GetEntryInfo(h, i));
    zip.SetArchivePassword(run.password.c_str());
    sink.steps.clear();
    sink.count = 0;
    sink.abortAt = run.abortEntry < 0 || run.abortEntry == i ? run.abortAt : 0;
    sink.entry = i;
    bool complete = false;
    const int code =
        ErrorOf([&] { complete = zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, run.bufferSize); });
    const std::string path = dir / Native(h.GetName());
    outcome.bytes.push_back(!h.IsFolder() && Exists(path) ? ReadFile(path) : "-");
    // Damaged data may also end the deflate stream early, without an error.
    outcome.entries.push_back(h.GetName() + " error " + std::to_string(code) +
                              (code == 0 && !complete ? " short" : "") + " steps" + sink.steps +
                              " size " + std::to_string(outcome.bytes.back().size()));
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
    EXPECT_FALSE(zip.DecryptingAhead());
  }
  outcome.stepsAhead = sink.stepsAhead;
  zip.CloseArchive(0, false);
  EXPECT_FALSE(zip.ReadingAhead());
  return outcome;
}

// The launcher file that kvsfx-pack makes of the payload tree.
std::string PackedLauncher(const ScratchDir& dir) {
  kvpack::PackOptions options;
  options.stubPath = dir / "stub";
  options.outputPath = dir / "launcher.bin";
  options.folder = Archive("payload");
  options.config.usePassword = true;
  testsupport::WriteFile(options.stubPath, std::string(4096, 'S'));
  kvpack::BuildLauncher(options, [](const std::string&) {});
  return options.outputPath;
}

// Entries that failed, by an error or by data that ends early (with `code`:
// with that error).
size_t ErrorCount(const Outcome& outcome, int code = 0) {
  size_t n = 0;
  for (const std::string& e : outcome.entries) {
    if (code ? e.find(" error " + std::to_string(code) + " ") != std::string::npos
             : e.find(" error 0 steps") == std::string::npos)
      ++n;
  }
  return n;
}

TEST(ZipDecryptAhead, BothPathsGiveTheSameResults) {
  ScratchDir packDir;
  struct Case {
    std::string archive;
    size_t errors;  // entries that fail, on both paths alike
  } cases[] = {
      {Archive("izip_crypt.zip"), 0},
      {Archive("izip_stream_crypt.zip"), 0},
      {Archive("izip_crypt_stored.zip"), 0},
      {Archive("7z_crypt.zip"), 0},
      {Archive("py_crypt.zip"), 1},                 // a CRC that does not match
      {Archive("crypt_bad_data.zip"), 1},           // a changed byte: inflate fails
      {Archive("crypt_stored_bad_data.zip"), 1},    // a changed byte: the CRC fails
      {Archive("crypt_trailing.zip"), 0},           // bytes behind the deflate stream
      {PackedLauncher(packDir), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    for (int abortAt : {0, 3}) {
      SCOPED_TRACE(abortAt);
      RunOptions run;
      run.abortAt = abortAt;
      Outcome one = ExtractAll(c.archive, Use::OneThread, run);
      Outcome two = ExtractAll(c.archive, Use::TwoThreads, run);
      EXPECT_EQ(one.entries, two.entries);
      EXPECT_TRUE(one.bytes == two.bytes);
      EXPECT_EQ(one.stepsAhead, 0);
      EXPECT_GT(two.stepsAhead, 0);
      if (abortAt == 0) {
        EXPECT_EQ(ErrorCount(two), c.errors);
      } else {
        // The cancel ends the large entries at their third buffer.
        EXPECT_GE(ErrorCount(two, ErrAborted), 1u);
      }
    }
  }
}

TEST(ZipDecryptAhead, WrongPasswordThatPassesTheHeaderCheck) {
  // One wrong password in 256 passes the one-byte check of the encryption
  // header; the entry's data then decrypts to garbage.
  CZipReader zip;
  ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive("izip_crypt.zip"), ModeOpenReadOnly, 0); }), 0);
  const int entry = FindEntry(zip, "bin/mixed.dat");
  std::string wrong;
  for (int k = 0; k < 10000 && wrong.empty(); ++k) {
    const std::string candidate = "wrong" + std::to_string(k);
    zip.SetArchivePassword(candidate.c_str());
    if (ErrorOf([&] { zip.OpenEntry(entry); }) == 0) {
      wrong = candidate;
      zip.CloseEntry(nullptr, true);
    }
  }
  ASSERT_FALSE(wrong.empty());
  zip.CloseArchive(0, false);
  RunOptions run;
  run.password = wrong;
  Outcome one = ExtractAll(Archive("izip_crypt.zip"), Use::OneThread, run);
  Outcome two = ExtractAll(Archive("izip_crypt.zip"), Use::TwoThreads, run);
  // The garbage fails on the first chunk, before any progress (by an error,
  // or rarely by a deflate stream that ends early).
  EXPECT_EQ(one.entries, two.entries);
  EXPECT_TRUE(one.bytes == two.bytes);
  for (const std::string& e : two.entries) {
    if (e.rfind(Native("bin/mixed.dat") + " ", 0) == 0) {
      EXPECT_EQ(e.find(" error 0 steps"), std::string::npos);
    }
  }
}

TEST(ZipDecryptAhead, EntriesDecryptedLongBeforeTheReaderReachesThem) {
  // Each entry waits at its first step until the worker has finished the
  // next two: a damaged entry right after good ones, and a cancel, meet
  // entries that were decrypted ahead; the entries after a cancelled one
  // still come decrypted ahead.
  for (const char* name : {"crypt_many.zip", "crypt_many_bad.zip"}) {
    SCOPED_TRACE(name);
    for (int abortAt : {0, 2}) {
      SCOPED_TRACE(abortAt);
      RunOptions run;
      run.waitAhead = true;
      run.bufferSize = 4096;  // three steps an entry
      run.abortAt = abortAt;
      run.abortEntry = 5;
      Outcome one = ExtractAll(Archive(name), Use::OneThread, run);
      Outcome two = ExtractAll(Archive(name), Use::TwoThreads, run);
      EXPECT_EQ(one.entries, two.entries);
      EXPECT_TRUE(one.bytes == two.bytes);
      EXPECT_GE(two.stepsAhead, 24);
      EXPECT_EQ(ErrorCount(two), (std::string(name) == "crypt_many_bad.zip" ? 1u : 0u) + (abortAt ? 1u : 0u));
      if (abortAt) {
        EXPECT_NE(two.entries[5].find(" error " + std::to_string(ErrAborted)), std::string::npos);
      }
    }
  }
}

// A file whose bytes from `failAt` to `failEnd` cannot be read (a bad
// stretch of the disk): a read that reaches it returns what lies before, a
// read that begins in it fails.
class FailingFile : public CZipMemFile {
 public:
  FailingFile(const std::string& bytes, uint64_t failAt, uint64_t failEnd)
      : CZipMemFile(bytes.data(), static_cast<uint32_t>(bytes.size()), "failing.zip"),
        failAt(failAt),
        failEnd(failEnd) {}
  uint32_t Read(void* buffer, uint32_t count) override {
    const uint64_t at = GetPosition();
    if (at >= failAt && at < failEnd) CFileException::ThrowOsError(5, "failing.zip");
    if (at < failAt) count = static_cast<uint32_t>(std::min<uint64_t>(count, failAt - at));
    return CZipMemFile::Read(buffer, count);
  }

 private:
  uint64_t failAt;
  uint64_t failEnd;
};

TEST(ZipDecryptAhead, ReadFailureMetWhereTheReaderReadsThatFar) {
  // A bad stretch from the header or the data of entry 10 to entry 13: the
  // reads ahead meet it before the reader does, yet the same entries fail at
  // the same step, and the entries after the stretch extract.
  const std::string bytes = ReadFile(Archive("crypt_many.zip"));
  std::vector<size_t> locals = {0};
  while (locals.size() < 14) locals.push_back(bytes.find("PK\x03\x04", locals.back() + 1));
  for (uint64_t failAt : {uint64_t{locals[10] + 10}, uint64_t{locals[10] + 100}}) {
    SCOPED_TRACE(failAt);
    FailingFile oneFile(bytes, failAt, locals[13]), twoFile(bytes, failAt, locals[13]);
    RunOptions run;
    run.file = &oneFile;
    Outcome one = ExtractAll("failing.zip", Use::OneThread, run);
    run.file = &twoFile;
    Outcome two = ExtractAll("failing.zip", Use::TwoThreads, run);
    EXPECT_EQ(one.entries, two.entries);
    EXPECT_TRUE(one.bytes == two.bytes);
    EXPECT_GT(two.stepsAhead, 0);
    EXPECT_EQ(ErrorCount(two), 3u);
  }
}

TEST(ZipDecryptAhead, EndsWithTheArchiveOnEveryPath) {
  ForcedPath forced(Use::TwoThreads);
  const std::string mixed = Payload("bin/mixed.dat");
  enum Ending { CloseEarly, CloseAfterError, CloseArchive, CloseArchiveAfterError, Destroy };
  for (Ending ending : {CloseEarly, CloseAfterError, CloseArchive, CloseArchiveAfterError, Destroy}) {
    SCOPED_TRACE(ending);
    CZipReader zip;
    ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive("izip_crypt.zip"), ModeOpenReadOnly, 0); }), 0);
    zip.SetArchivePassword(kPassword);
    const int entry = FindEntry(zip, "bin/mixed.dat");
    ASSERT_TRUE(zip.OpenEntry(entry));
    char buffer[1000];
    ASSERT_EQ(zip.ReadEntry(buffer, sizeof buffer), sizeof buffer);
    EXPECT_EQ(std::string(buffer, sizeof buffer), mixed.substr(0, sizeof buffer));
    EXPECT_TRUE(zip.DecryptingAhead());
    if (ending == Destroy) continue;  // the destructor ends the worker
    switch (ending) {
      case CloseEarly: EXPECT_EQ(zip.CloseEntry(nullptr, false), -1); break;
      case CloseAfterError: zip.CloseEntry(nullptr, true); break;
      case CloseArchive: zip.CloseArchive(0, false); break;
      default: zip.CloseArchive(1, false); break;
    }
    EXPECT_FALSE(zip.DecryptingAhead());
    EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
    EXPECT_EQ(zip.ReadingAhead(), !zip.IsClosed(true));
    if (zip.IsClosed(true)) {
      ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive("izip_crypt.zip"), ModeOpenReadOnly, 0); }), 0);
      zip.SetArchivePassword(kPassword);
    }
    // The same entry again, behind the worker: read and decrypted by the
    // reader itself, completely and correctly.
    EXPECT_TRUE(ReadAll(zip, entry, 65536) == mixed);
    EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
  }
}

// The processors this thread may use, and a change of them for the test.
class OneProcessor {
 public:
  OneProcessor() {
#ifdef _WIN32
    DWORD_PTR system = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &saved, &system);
    SetProcessAffinityMask(GetCurrentProcess(), saved & (~saved + 1));
#else
    sched_getaffinity(0, sizeof saved, &saved);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &saved)) {
        CPU_SET(cpu, &one);
        break;
      }
    }
    sched_setaffinity(0, sizeof one, &one);
#endif
  }
  ~OneProcessor() {
#ifdef _WIN32
    SetProcessAffinityMask(GetCurrentProcess(), saved);
#else
    sched_setaffinity(0, sizeof saved, &saved);
#endif
  }
  OneProcessor(const OneProcessor&) = delete;
  OneProcessor& operator=(const OneProcessor&) = delete;

 private:
#ifdef _WIN32
  DWORD_PTR saved = 0;
#else
  cpu_set_t saved;
#endif
};

// Whether the archive is read ahead once the entry's first byte is read.
bool ReadsAhead(const std::string& archive, const std::string& name) {
  CZipReader zip;
  EXPECT_EQ(ErrorOf([&] { zip.OpenArchive(Archive(archive), ModeOpenReadOnly, 0); }), 0);
  zip.SetArchivePassword(kPassword);
  EXPECT_TRUE(zip.OpenEntry(FindEntry(zip, name)));
  char byte;
  EXPECT_EQ(zip.ReadEntry(&byte, 1), 1u);
  return zip.ReadingAhead();
}

TEST(ZipDecryptAhead, OnlyLargeEncryptedDataOnSeveralProcessorsGoesAhead) {
  const bool several = CZipWorkerThread::ProcessorCount() > 1;
  EXPECT_EQ(ReadsAhead("izip_crypt.zip", "bin/mixed.dat"), several);         // 430 KB ahead
  EXPECT_EQ(ReadsAhead("izip_crypt_stored.zip", "bin/mixed.dat"), several);  // stored, 1 MiB
  EXPECT_FALSE(ReadsAhead("crypt_many.zip", "many/part00.bin"));             // 120 KB in all
  EXPECT_FALSE(ReadsAhead("izip_stored.zip", "bin/mixed.dat"));              // not encrypted
  OneProcessor one;
  EXPECT_EQ(CZipWorkerThread::ProcessorCount(), 1u);
  EXPECT_FALSE(ReadsAhead("izip_crypt.zip", "bin/mixed.dat"));
}

}  // namespace
