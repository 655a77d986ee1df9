// The archive reader on arbitrary bytes: open them as an archive from memory,
// list every entry and extract each one (without the launcher's password and
// with it), then from a file on two workers as the launcher does on several
// processors, into a fresh folder; nothing may appear outside that folder.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/exception.h"
#include "fuzz_sandbox.h"
#include "zip/zip_entry_workers.h"
#include "zip/zip_mem_file.h"
#include "zip/zip_reader.h"

using fuzzsandbox::CountChildren;
using fuzzsandbox::RemoveTree;

namespace {

const char kPassword[] = "Tq5HwR27_81m6_3yk52";
// Bounds the bytes one entry may write (its size field bounds the output).
const uint32_t kMaxEntrySize = 4u << 20;
// Bounds the bytes of a whole extraction on workers (the launcher's free-space
// check bounds them).
const uint64_t kMaxTotalSize = 16u << 20;

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

  bool opened = false;
  uint64_t total = 0;
  for (const bool withPassword : {false, true}) {
    CZipMemFile file(data, static_cast<uint32_t>(size), "fuzz.zip");
    CZipReader zip;
    try {
      zip.OpenArchive(file, ModeOpenReadOnly);
      total = SizeAll(zip);
      opened = true;
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

  // The launcher's run on several processors: the sizes fit (its free-space
  // check), the password set once, the entries on two workers.
  if (opened && total <= kMaxTotalSize) {
    const std::string path = sandbox + ".zip";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) abort();
    CZipReader zip;
    try {
      zip.OpenArchive(path, ModeOpenReadOnly, 0);
      zip.SetArchivePassword(kPassword);
      ExtractFailure failure;
      CZipEntryWorkers::Extract(zip, path, target, 2, nullptr, failure);
      if (failure.error) failure.error->Delete();
      zip.CloseArchive(0, false);
    } catch (CException* e) {
      e->Delete();
      zip.CloseArchive(1, false);
    }
    unlink(path.c_str());
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
