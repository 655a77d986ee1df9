// Large encrypted entries read and decrypted ahead on a second thread: the
// same bytes, errors, progress and cancel points as on one thread, for every
// producer's archive, damaged entries and a wrong password; the worker ends
// with the entry, whichever way the entry ends.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

#include <cstring>

#include "pack_builder.h"
#include "reader_test_util.h"
#include "zip/zip_decrypt_ahead.h"
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
// decrypted ahead, and stops the entry at step `abortAt` (from 1).
struct StepRecorder : CZipProgress {
  explicit StepRecorder(const CZipReader& zip) : zip(zip) {}
  bool Step(int32_t n) override {
    steps += " " + std::to_string(n);
    if (zip.DecryptingAhead()) ++stepsAhead;
    return ++count != abortAt;
  }
  const CZipReader& zip;
  std::string steps;
  int count = 0;
  int abortAt = 0;
  int stepsAhead = 0;
};

struct Outcome {
  // Per entry: name, error code, progress steps and size; and the bytes
  // written (compared, not printed).
  std::vector<std::string> entries;
  std::vector<std::string> bytes;
  int stepsAhead = 0;
};

Outcome ExtractAll(const std::string& archive, const std::string& password, Use use,
                   int abortAt = 0) {
  ForcedPath forced(use);
  Outcome outcome;
  CZipReader zip;
  EXPECT_EQ(ErrorOf([&] { zip.OpenArchive(archive, ModeOpenReadOnly, 0); }), 0) << archive;
  StepRecorder sink(zip);
  zip.SetProgressSink(&sink, ProgressExtract);
  ScratchDir dir;
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntryHeader h;
    EXPECT_TRUE(zip.GetEntryInfo(h, i));
    zip.SetArchivePassword(password.c_str());
    sink.steps.clear();
    sink.count = 0;
    sink.abortAt = abortAt;
    bool complete = false;
    const int code =
        ErrorOf([&] { complete = zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 65536); });
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
      Outcome one = ExtractAll(c.archive, kPassword, Use::OneThread, abortAt);
      Outcome two = ExtractAll(c.archive, kPassword, Use::TwoThreads, abortAt);
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
  Outcome one = ExtractAll(Archive("izip_crypt.zip"), wrong, Use::OneThread);
  Outcome two = ExtractAll(Archive("izip_crypt.zip"), wrong, Use::TwoThreads);
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

TEST(ZipDecryptAhead, EndsWithTheEntryOnEveryPath) {
  ForcedPath forced(Use::TwoThreads);
  const std::string mixed = Payload("bin/mixed.dat");
  enum Ending { CloseEarly, CloseAfterError, CloseArchive, CloseArchiveAfterError, Destroy };
  for (Ending ending : {CloseEarly, CloseAfterError, CloseArchive, CloseArchiveAfterError, Destroy}) {
    SCOPED_TRACE(ending);
    CZipReader zip;
    for (int round = 0; round < 2; ++round) {
      if (zip.IsClosed(true)) {
        ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive("izip_crypt.zip"), ModeOpenReadOnly, 0); }), 0);
      }
      zip.SetArchivePassword(kPassword);
      const int entry = FindEntry(zip, "bin/mixed.dat");
      ASSERT_TRUE(zip.OpenEntry(entry));
      char buffer[1000];
      ASSERT_EQ(zip.ReadEntry(buffer, sizeof buffer), sizeof buffer);
      EXPECT_EQ(std::string(buffer, sizeof buffer), mixed.substr(0, sizeof buffer));
      EXPECT_TRUE(zip.DecryptingAhead());
      if (ending == Destroy) break;  // the destructor ends the entry
      switch (ending) {
        case CloseEarly: EXPECT_EQ(zip.CloseEntry(nullptr, false), -1); break;
        case CloseAfterError: zip.CloseEntry(nullptr, true); break;
        case CloseArchive: zip.CloseArchive(0, false); break;
        default: zip.CloseArchive(1, false); break;
      }
      EXPECT_FALSE(zip.DecryptingAhead());
      EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
      if (zip.IsClosed(true)) {
        ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive("izip_crypt.zip"), ModeOpenReadOnly, 0); }), 0);
        zip.SetArchivePassword(kPassword);
      }
      // The next entry reads completely and correctly.
      EXPECT_TRUE(ReadAll(zip, entry, 65536) == mixed);
      EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
    }
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

// Whether the entry goes to the second thread once its first byte is read.
bool ReadsAhead(const std::string& archive, const std::string& name) {
  CZipReader zip;
  EXPECT_EQ(ErrorOf([&] { zip.OpenArchive(Archive(archive), ModeOpenReadOnly, 0); }), 0);
  zip.SetArchivePassword(kPassword);
  EXPECT_TRUE(zip.OpenEntry(FindEntry(zip, name)));
  char byte;
  EXPECT_EQ(zip.ReadEntry(&byte, 1), 1u);
  return zip.DecryptingAhead();
}

TEST(ZipDecryptAhead, OnlyLargeEncryptedEntriesOnSeveralProcessorsGoAhead) {
  const bool several = CZipWorkerThread::ProcessorCount() > 1;
  EXPECT_EQ(ReadsAhead("izip_crypt.zip", "bin/mixed.dat"), several);         // 430 KB
  EXPECT_EQ(ReadsAhead("izip_crypt_stored.zip", "bin/mixed.dat"), several);  // stored, 1 MiB
  EXPECT_FALSE(ReadsAhead("izip_crypt.zip", "bin/random.bin"));              // 100 KB
  EXPECT_FALSE(ReadsAhead("izip_stored.zip", "bin/mixed.dat"));              // not encrypted
  OneProcessor one;
  EXPECT_EQ(CZipWorkerThread::ProcessorCount(), 1u);
  EXPECT_FALSE(ReadsAhead("izip_crypt.zip", "bin/mixed.dat"));
}

TEST(ZipDecryptAhead, ReadErrorIsThrownWhereTheReaderMeetsIt) {
  // Four whole chunks and a short fifth: the stage is told of six chunks, so
  // the read of the fifth fails while the reader still takes the first.
  const uint32_t chunk = 65536;
  std::string cipher(4 * chunk + 1000, '\0');
  for (size_t i = 0; i < cipher.size(); ++i) cipher[i] = static_cast<char>(i * 7 + (i >> 9));
  CZipCryptKeys reference;
  reference.InitKeys(reinterpret_cast<const unsigned char*>(kPassword), std::strlen(kPassword));
  CZipCryptKeys keys = reference;
  std::string plain = cipher;
  reference.DecryptBuffer(reinterpret_cast<unsigned char*>(&plain[0]), plain.size());

  for (bool closeEarly : {false, true}) {
    SCOPED_TRACE(closeEarly);
    CZipMemFile file(cipher.data(), static_cast<uint32_t>(cipher.size()));
    CZipStore store;
    store.Open(file, CZipStore::OpenReadOnly);
    store.UpdateSpanMode(0);
    CZipCryptKeys entryKeys = keys;
    CZipDecryptAhead ahead;
    ForcedPath forced(Use::TwoThreads);
    ASSERT_TRUE(ahead.Start(store, entryKeys, 6 * chunk, chunk));
    uint32_t length = 0;
    for (uint32_t k = 0; k < (closeEarly ? 2u : 4u); ++k) {
      const char* data = ahead.Next(length);
      ASSERT_EQ(length, chunk);
      EXPECT_TRUE(std::string(data, length) == plain.substr(k * chunk, chunk)) << k;
    }
    if (closeEarly) {
      // Chunks 2 and 3 were read ahead, and the read of chunk 4 failed: the
      // caller stepping over the rest meets that error.
      EXPECT_EQ(ahead.Stop(), 2 * chunk);
      EXPECT_EQ(ErrorOf([&] { ahead.ThrowPendingError(); }), ErrDamagedArchive);
    } else {
      EXPECT_EQ(ErrorOf([&] { ahead.Next(length); }), ErrDamagedArchive);
    }
    ahead.Reset();
    EXPECT_FALSE(ahead.Running());
    store.Close(true);
  }
}

}  // namespace
