// The archive reader on arbitrary bytes: open them as an archive from memory,
// list every entry and extract each one (without the launcher's password,
// with it, and with it while the archive is read and decrypted ahead on
// other threads) into a fresh folder; nothing may appear outside that folder.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/exception.h"
#include "fuzz_sandbox.h"
#include "zip/zip_decrypt_ahead.h"
#include "zip/zip_mem_file.h"
#include "zip/zip_reader.h"

using fuzzsandbox::CountChildren;
using fuzzsandbox::RemoveTree;

namespace {

const char kPassword[] = "Tq5HwR27_81m6_3yk52";
// Bounds the bytes one entry may write (its size field bounds the output).
const uint32_t kMaxEntrySize = 4u << 20;

std::string Sandbox() {
  static std::string base = fuzzsandbox::Sandbox("fuzz_zip");
  return base;
}

// The launcher's sizing pass, right after the archive is opened: every
// entry's record read once (the directory parses a record again when it is
// asked for), the sizes of the files summed.
uint64_t SizeAll(CZipReader& zip) {
  uint64_t total = 0;
  CZipEntryHeader h;
  for (int i = 0; i < zip.GetCount(); ++i)
    if (zip.GetEntryInfo(h, i) && !h.IsFolder()) total += h.uncompressedSize;
  return total;
}

// Then the launcher's own sequence: the password (when it uses one) before each
// entry, every entry extracted in index order, a failed entry left to the
// reader, and the archive closed with CloseArchive(0, false) at the end.
void ExtractAll(CZipReader& zip, const std::string& target, bool withPassword) {
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntryHeader h;
    if (!zip.GetEntryInfo(h, i)) continue;
    (void)h.GetName();
    (void)h.GetModTime();
    if (h.uncompressedSize > kMaxEntrySize) continue;
    try {
      if (withPassword) zip.SetArchivePassword(kPassword);
      zip.ExtractEntry(i, target.c_str(), true, nullptr, 4096);
    } catch (CException* e) {
      e->Delete();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string sandbox = Sandbox();
  // The target lies a few levels down, so that a path climbing out of it by
  // up to three levels lands in a folder that is checked afterwards.
  const std::string levels[] = {sandbox, sandbox + "/1", sandbox + "/1/2", sandbox + "/1/2/3"};
  const std::string target = levels[3] + "/t";
  RemoveTree(sandbox);
  for (const std::string& folder : {levels[0], levels[1], levels[2], levels[3], target})
    if (mkdir(folder.c_str(), 0700) != 0 || chmod(folder.c_str(), 0700) != 0) abort();

  using Use = CZipDecryptAhead::Use;
  struct Pass {
    bool withPassword;
    Use use;
  };
  for (const Pass& pass : {Pass{false, Use::OneThread}, Pass{true, Use::OneThread}, Pass{true, Use::TwoThreads}}) {
    const bool withPassword = pass.withPassword;
    CZipDecryptAhead::use = pass.use;
    CZipMemFile file(data, static_cast<uint32_t>(size), "fuzz.zip");
    CZipReader zip;
    try {
      zip.OpenArchive(file, ModeOpenReadOnly);
      (void)SizeAll(zip);
    } catch (CException* e) {
      e->Delete();
      zip.CloseArchive(1, false);
      continue;
    }
    ExtractAll(zip, target, withPassword);
    try {
      zip.CloseArchive(0, false);
    } catch (CException* e) {
      // An entry that failed its CRC check is still open and fails it again.
      e->Delete();
      zip.CloseArchive(1, false);
    }
  }

  // Each level holds only the next one: nothing was written outside the
  // target; and neither the target nor a level above it changed its mode.
  for (const std::string& level : levels) {
    if (CountChildren(level) != 1) {
      std::fprintf(stderr, "an entry was written outside the target folder (%s)\n",
                   level.c_str());
      abort();
    }
  }
  for (const std::string& folder : {levels[0], levels[1], levels[2], levels[3], target}) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || (st.st_mode & 07777) != 0700) {
      std::fprintf(stderr, "an entry changed the mode of %s\n", folder.c_str());
      abort();
    }
  }
  RemoveTree(sandbox);
  return 0;
}
