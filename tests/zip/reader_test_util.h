// Helpers of the archive reader tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/file_exception.h"
#include "test_support.h"
#include "zip/zip_exception.h"
#include "zip/zip_reader.h"

namespace zipreadertest {

constexpr char kPassword[] = "Tq5HwR27_81m6_3yk52";

// The archive error code that `action` throws; 0 when it throws nothing,
// -1 for a file exception.
inline int ErrorOf(const std::function<void()>& action, std::string* fileName = nullptr) {
  try {
    action();
  } catch (CZipException* e) {
    int code = e->errorCode;
    if (fileName) *fileName = e->fileName;
    e->Delete();
    return code;
  } catch (CFileException* e) {
    e->Delete();
    return -1;
  }
  return 0;
}

inline std::string Archive(const std::string& name) {
  return testsupport::TestData("zip/" + name);
}

// An entry name as this platform presents it.
inline std::string Native(std::string name) {
  for (char& c : name)
    if (c == '/') c = testsupport::kSep;
  return name;
}

inline int FindEntry(const CZipReader& zip, const std::string& name) {
  CZipEntryHeader h;
  for (int i = 0; i < zip.GetCount(); ++i)
    if (zip.GetEntryInfo(h, i) && h.GetName() == Native(name)) return i;
  return -1;
}

inline std::vector<std::string> Names(const CZipReader& zip) {
  std::vector<std::string> names;
  CZipEntryHeader h;
  for (int i = 0; i < zip.GetCount(); ++i)
    if (zip.GetEntryInfo(h, i)) names.push_back(h.GetName());
  return names;
}

// Reads a whole entry with calls of `chunk` bytes.
inline std::string ReadAll(CZipReader& zip, int index, uint32_t chunk) {
  std::string out;
  std::vector<char> buffer(chunk);
  EXPECT_TRUE(zip.OpenEntry(index));
  for (;;) {
    uint32_t n = zip.ReadEntry(buffer.data(), chunk);
    if (n == 0) break;
    out.append(buffer.data(), n);
  }
  return out;
}

// The payload tree that the producers packed (relative names, '/').
inline const std::vector<std::string>& PayloadFiles() {
  static const std::vector<std::string> files = {
      "readme.txt", "empty.txt", "docs/sub/deep.txt", "bin/random.bin",
      "bin/exact.bin", "bin/mixed.dat"};
  return files;
}

inline std::string Payload(const std::string& name) {
  return testsupport::ReadFile(Archive("payload/" + name));
}

}  // namespace zipreadertest
