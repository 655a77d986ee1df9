// Extracts a whole archive with the archive reader, as the launcher does:
// every entry in file order, full paths, a 65536-byte buffer, the password
// set before each entry when one is given.
//
// usage: bench_extract ARCHIVE TARGET_FOLDER [PASSWORD]
#include <cstdio>
#include <string>

#include "framework/exception.h"
#include "zip/zip_exception.h"
#include "zip/zip_reader.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ARCHIVE TARGET_FOLDER [PASSWORD]\n", argv[0]);
    return 2;
  }
  const char* password = argc > 3 ? argv[3] : nullptr;
  CZipReader zip;
  try {
    zip.OpenArchive(argv[1], ModeOpenReadOnly, 0);
  } catch (CException* e) {
    std::fprintf(stderr, "cannot open %s: %s\n", argv[1], e->GetErrorMessage().c_str());
    e->Delete();
    return 1;
  }
  int failures = 0;
  for (int i = 0; i < zip.GetCount(); ++i) {
    try {
      if (password) zip.SetArchivePassword(password);
      if (!zip.ExtractEntry(i, argv[2], true, nullptr, 65536)) ++failures;
    } catch (CException* e) {
      std::fprintf(stderr, "entry %d: %s\n", i, e->GetErrorMessage().c_str());
      e->Delete();
      zip.CloseEntry(nullptr, true);
      ++failures;
    }
  }
  zip.CloseArchive(0, false);
  if (failures) std::fprintf(stderr, "%d entries failed\n", failures);
  return failures ? 1 : 0;
}
