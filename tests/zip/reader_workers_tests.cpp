// Entries extracted on workers give what one thread gives: the same files,
// the same first failure in archive order (entry, error and text), the same
// cancel, for real producers' archives, damaged and hostile ones, a wrong
// password and methods the workers leave to the reading thread; and nothing
// is written once Extract has returned.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "framework/file_exception.h"
#include "pack_builder.h"
#include "reader_test_util.h"
#include "zip/zip_entry_workers.h"

using namespace zipreadertest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

// Stops the extraction at the `abortAt`-th report of bytes (0: never).
struct StoppingSink : CZipProgress {
  bool Step(int32_t) override { return abortAt == 0 || reports < abortAt; }
  bool Advance(int32_t amount) override {
    ++reports;
    return CZipProgress::Advance(amount);
  }
  int reports = 0;
  int abortAt = 0;
};

struct Outcome {
  std::string result;  // "done", "cancelled" or the failure: entry, error and its text
  int failedEntry = -1;
  std::vector<std::string> bytes;  // of the entries before the failure, in archive order
};

std::string Describe(CException* error) {
  std::string text;
  if (error->IsKindOf(RUNTIME_CLASS(CZipException))) {
    auto* zip = static_cast<CZipException*>(error);
    text = "error " + std::to_string(zip->errorCode) + ": " + zip->GetDescription();
  } else if (error->IsKindOf(RUNTIME_CLASS(CFileException))) {
    text = "file error: " + static_cast<CFileException*>(error)->GetErrorMessage();
  }
  error->Delete();
  return text;
}

void ReadBack(CZipReader& zip, const ScratchDir& dir, Outcome& outcome) {
  const int end = outcome.failedEntry < 0 ? zip.GetCount() : outcome.failedEntry;
  for (int i = 0; i < end; ++i) {
    CZipEntryHeader h;
    zip.GetEntryInfo(h, i);
    const std::string path = dir / Native(h.GetName());
    outcome.bytes.push_back(h.IsFolder() ? "folder" : Exists(path) ? ReadFile(path) : "missing");
  }
}

// The archive opened as the launcher opens it, with its password and a sink
// that stops at the `abortAt`-th report.
struct OpenArchive {
  OpenArchive(const std::string& archive, const std::string& password, int abortAt) {
    zip.OpenArchive(archive, ModeOpenReadOnly, 0);
    sink.abortAt = abortAt;
    zip.SetProgressSink(&sink, ProgressExtract);
    zip.SetArchivePassword(password.c_str());
  }
  CZipReader zip;
  StoppingSink sink;
};

// The launcher's one-thread loop: entry after entry up to the first failure.
Outcome OneThread(const std::string& archive, const std::string& password, int abortAt) {
  Outcome outcome;
  OpenArchive opened(archive, password, abortAt);
  CZipReader& zip = opened.zip;
  ScratchDir dir;
  for (int i = 0; i < zip.GetCount() && outcome.result.empty(); ++i) {
    CZipEntryHeader h;
    zip.GetEntryInfo(h, i);
    try {
      if (!zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 65536) &&
          (h.IsFolder() || static_cast<uint64_t>(opened.sink.workDone) != h.uncompressedSize))
        outcome.result = h.GetName() + ": ends early";
    } catch (CException* error) {
      const bool aborted = IsAbortError(error);
      outcome.result = aborted ? "cancelled" : h.GetName() + ": " + Describe(error);
      if (aborted) error->Delete();
    }
    if (!outcome.result.empty() && outcome.result != "cancelled") outcome.failedEntry = i;
  }
  if (outcome.result.empty()) outcome.result = "done";
  if (outcome.result != "cancelled") ReadBack(zip, dir, outcome);
  zip.CloseArchive(1, false);
  return outcome;
}

Outcome OnWorkers(const std::string& archive, const std::string& password, int abortAt, unsigned workers) {
  Outcome outcome;
  OpenArchive opened(archive, password, abortAt);
  CZipReader& zip = opened.zip;
  auto dir = std::make_unique<ScratchDir>();
  ExtractFailure failure;
  switch (CZipEntryWorkers::Extract(zip, archive, dir->Path(), workers, &opened.sink, failure)) {
    case ExtractResult::Done:
      outcome.result = "done";
      break;
    case ExtractResult::Cancelled:
      outcome.result = "cancelled";
      break;
    case ExtractResult::Failed:
      outcome.result = failure.name + ": " +
                       (failure.endsEarly ? "ends early" : failure.error ? Describe(failure.error) : failure.what);
      outcome.failedEntry = FindEntry(zip, failure.name);
      break;
  }
  if (outcome.result != "cancelled") ReadBack(zip, *dir, outcome);
  zip.CloseArchive(1, false);
  // Every worker has ended: the folder goes at once (on Windows an open
  // file would keep it) and nothing appears in it afterwards.
  const std::string path = dir->Path();
  dir.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(Exists(path));
  return outcome;
}

// A launcher file packed from `folder` (encrypted, deflated).
std::string Packed(const ScratchDir& dir, const std::string& folder) {
  kvpack::PackOptions options;
  options.stubPath = dir / "stub";
  options.outputPath = dir / "launcher.bin";
  options.folder = folder;
  options.config.usePassword = true;
  WriteFile(options.stubPath, std::string(4096, 'S'));
  kvpack::BuildLauncher(options, [](const std::string&) {});
  return options.outputPath;
}

// Changes a byte inside the data of the entry called `name` (its local
// header's name is the first place the name appears).
void DamageEntry(const std::string& archive, const std::string& name, size_t into) {
  std::string bytes = ReadFile(archive);
  const size_t at = bytes.find(name);
  ASSERT_NE(at, std::string::npos);
  const size_t extra = static_cast<unsigned char>(bytes[at - 2]) | static_cast<unsigned char>(bytes[at - 1]) << 8;
  bytes[at + name.size() + extra + into] ^= 0x55;
  WriteFile(archive, bytes);
}

void ExpectSame(const std::string& archive, const std::string& password, int abortAt) {
  CZipReader probe;
  ASSERT_EQ(ErrorOf([&] { probe.OpenArchive(archive, ModeOpenReadOnly, 0); }), 0) << "the archive must open";
  probe.CloseArchive(1, false);
  const Outcome one = OneThread(archive, password, abortAt);
  for (unsigned workers : {1u, 2u, 4u}) {
    SCOPED_TRACE(workers);
    const Outcome many = OnWorkers(archive, password, abortAt, workers);
    EXPECT_EQ(many.result, one.result);
    EXPECT_EQ(many.failedEntry, one.failedEntry);
    EXPECT_TRUE(many.bytes == one.bytes) << "the files differ";
  }
}

}  // namespace

TEST(ZipEntryWorkers, SameFilesAndFirstFailureAsOneThread) {
  const char* archives[] = {
      "izip_crypt.zip", "izip_stream_crypt.zip", "izip_crypt_stored.zip", "7z_crypt.zip", "izip_6.zip",
      "izip_stream.zip", "py_stored.zip", "z64_izip_fz_crypt.zip", "lzma_7z_crypt.zip", "lzma_python.zip",
      // damaged: a CRC, inflate, a stored byte, bytes behind the deflate
      // stream, a descriptor, sizes, names, a later entry of many
      "py_crypt.zip", "crypt_bad_data.zip", "crypt_stored_bad_data.zip", "crypt_trailing.zip", "bad_crc.zip",
      "bad_deflate.zip", "descriptor_bad.zip", "stored_short.zip", "stored_oversized.zip",
      "slip_dotdot.zip", "name_zero_inside.zip", "crypt_many.zip", "crypt_many_bad.zip",
      "lzma_hostile.zip", "method_12.zip", "oem_names.zip", "descriptor_zip64.zip"};
  for (const char* name : archives) {
    SCOPED_TRACE(name);
    ExpectSame(Archive(name), kPassword, 0);
  }
}

TEST(ZipEntryWorkers, WrongPasswordAndCancelMidEntry) {
  ExpectSame(Archive("izip_crypt.zip"), "not the password", 0);
  // One wrong password in 256 passes the one-byte check of the encryption
  // header: the entry's data then decrypts to garbage, on a worker.
  CZipReader zip;
  zip.OpenArchive(Archive("izip_crypt.zip"), ModeOpenReadOnly, 0);
  const int entry = FindEntry(zip, "bin/mixed.dat");
  std::string passes;
  for (int k = 0; k < 10000 && passes.empty(); ++k) {
    const std::string candidate = "wrong" + std::to_string(k);
    zip.SetArchivePassword(candidate.c_str());
    if (ErrorOf([&] { zip.OpenEntry(entry); }) == 0) {
      passes = candidate;
      zip.CloseEntry(nullptr, true);
    }
  }
  zip.CloseArchive(0, false);
  ASSERT_FALSE(passes.empty());
  ExpectSame(Archive("izip_crypt.zip"), passes, 0);
  // The third report of bytes falls inside the large entries.
  ExpectSame(Archive("izip_crypt.zip"), kPassword, 3);
  ExpectSame(Archive("crypt_many.zip"), kPassword, 5);
}

TEST(ZipEntryWorkers, FirstFailureInArchiveOrderWhateverEndsFirst) {
  // A large entry first, a small one behind it: the small one is done long
  // before the large one, on another worker.
  ScratchDir dir;
  const std::string payload = dir / "payload";
  testsupport::MakeFolder(payload);
  // Random bytes: stored, so that a byte 5 MiB in is the entry's own.
  std::string large(6 << 20, '\0');
  uint32_t state = 2463534242u;
  for (char& c : large) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state >> 24);
  }
  WriteFile(payload + testsupport::kSep + "a_large.bin", large);
  WriteFile(payload + testsupport::kSep + "b_small.txt", std::string(3000, 'k') + "small entry");
  const std::string good = Packed(dir, payload);
  const std::string goodBytes = ReadFile(good);

  struct Case {
    const char* damaged[2];
    const char* reported;
  } cases[] = {
      {{"b_small.txt", nullptr}, "b_small.txt"},
      {{"a_large.bin", "b_small.txt"}, "a_large.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reported);
    WriteFile(good, goodBytes);
    for (const char* name : c.damaged)
      if (name) DamageEntry(good, name, name[0] == 'a' ? (5u << 20) : 20);
    const Outcome one = OneThread(good, kPassword, 0);
    EXPECT_EQ(one.result.rfind(c.reported, 0), 0u) << one.result;
    for (unsigned workers : {2u, 4u}) {
      const Outcome many = OnWorkers(good, kPassword, 0, workers);
      EXPECT_EQ(many.result, one.result);
      EXPECT_TRUE(many.bytes == one.bytes);
    }
  }
}
