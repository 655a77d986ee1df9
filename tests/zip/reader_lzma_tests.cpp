// LZMA (method 14) and XZ (method 95) entries: archives from Python's
// zipfile and 7z, entries written by gen_lzma.py (every XZ check, a BCJ
// filter, several streams, encrypted ones), and damaged entries, each of
// which fails with its code and reason and leaves the reader ready for the next.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "reader_test_util.h"
#include "zip/zip_lzma_decoder.h"

using namespace zipreadertest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::ScratchDir;

namespace {

std::string Expected(const std::string& name) {
  return ReadFile(Archive("lzma_payload/" + name));
}

// The code and detail that `action` throws (0 and "" when it throws nothing).
int ErrorWithDetail(const std::function<void()>& action, std::string& detail) {
  detail.clear();
  try {
    action();
  } catch (CZipException* e) {
    const int code = e->errorCode;
    detail = e->detail;
    e->Delete();
    return code;
  }
  return 0;
}

// Reads every file entry of `archive` with calls of `chunk` bytes and
// compares it with the file `expected` names for it; returns how many
// entries were LZMA or XZ.
int ReadAllAndCompare(const std::string& archive, uint32_t chunk,
                      const std::function<std::string(const std::string&)>& expected) {
  CZipReader zip;
  EXPECT_EQ(ErrorOf([&] { zip.OpenArchive(Archive(archive), ModeOpenReadOnly, 0); }), 0);
  EXPECT_TRUE(zip.SetArchivePassword(kPassword));
  int coded = 0;
  CZipEntryHeader h;
  for (int i = 0; i < zip.GetCount(); ++i) {
    zip.GetEntryInfo(h, i);
    if (h.IsFolder()) continue;
    SCOPED_TRACE(h.GetName());
    coded += CZipLzmaDecoder::Handles(h.method);
    std::string data;
    EXPECT_EQ(ErrorOf([&] {
                data = ReadAll(zip, i, chunk);
                EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
              }),
              0);
    EXPECT_TRUE(data == expected(h.GetName())) << data.size() << " bytes";
  }
  zip.CloseArchive(0, false);
  return coded;
}

TEST(ZipLzma, ProducersArchivesReadByteForByte) {
  struct Case {
    const char* archive;
    int coded;  // LZMA or XZ entries it must hold
  } cases[] = {
      {"lzma_python.zip", 5},        // end marker, every file (also empty and incompressible ones)
      {"lzma_7z.zip", 2},            // end marker
      {"lzma_7z_noeos.zip", 2},      // no end marker: the entry's size ends the data
      {"lzma_7z_crypt.zip", 2},      // encrypted
      {"lzma_7z_xz.zip", 2},         // XZ
  };
  int found = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    if (!Exists(Archive(c.archive))) continue;  // this 7z cannot write the method
    ++found;
    for (uint32_t chunk : {7u, 65536u}) {
      SCOPED_TRACE(chunk);
      EXPECT_EQ(ReadAllAndCompare(c.archive, chunk, [](const std::string& name) { return Expected(name); }),
                c.coded);
    }
  }
  EXPECT_GE(found, 4) << "7z made none of its LZMA archives";
}

TEST(ZipLzma, WrittenXzAndLzmaEntries) {
  const std::map<std::string, std::string> source = {
      {"xz_crc64.txt", "text.txt"},     {"xz_none.txt", "text.txt"},       {"xz_crc32.dat", "sub/mixed.dat"},
      {"xz_sha256.dat", "sub/mixed.dat"}, {"xz_x86.dat", "sub/mixed.dat"}, {"xz_streams.dat", "sub/mixed.dat"},
      {"xz_empty.txt", "empty.txt"},    {"lzma_marker.dat", "sub/mixed.dat"}, {"lzma_empty.txt", "empty.txt"},
      {"lzma_nodata.txt", "empty.txt"}, {"xz_nodata.txt", "empty.txt"}};
  for (uint32_t chunk : {1u, 4096u, 65536u}) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(ReadAllAndCompare("lzma_written.zip", chunk,
                                [&](const std::string& name) { return Expected(source.at(name)); }),
              11);
  }
}

TEST(ZipLzma, ExtractedThroughTheOutputTree) {
  // The launcher's path: ExtractEntry with its buffer, encrypted entries read
  // and decrypted ahead.
  for (const char* archive : {"lzma_python.zip", "lzma_7z_crypt.zip", "lzma_7z_xz.zip"}) {
    SCOPED_TRACE(archive);
    if (!Exists(Archive(archive))) continue;
    CZipReader zip;
    ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive(archive), ModeOpenReadOnly, 0); }), 0);
    ASSERT_TRUE(zip.SetArchivePassword(kPassword));
    ScratchDir dir;
    for (int i = 0; i < zip.GetCount(); ++i)
      EXPECT_EQ(ErrorOf([&] { EXPECT_TRUE(zip.ExtractEntry(i, dir.Path().c_str(), true, nullptr, 65536)); }), 0);
    for (const char* name : {"text.txt", "random.bin", "empty.txt", "one.txt", "sub/mixed.dat"})
      EXPECT_TRUE(ReadFile(dir / Native(name)) == Expected(name)) << name;
    zip.CloseArchive(0, false);
  }
}

TEST(ZipLzma, DamagedEntriesFailWithTheirReason) {
  struct Case {
    const char* name;
    int code;
    const char* detail;
  } cases[] = {
      {"dict_at_limit.lzma", 0, ""},
      {"dict_over_limit.lzma", ErrDamagedArchive, "LZMA dictionary is larger than 256 MiB"},
      {"dict_4gib.lzma", ErrDamagedArchive, "LZMA dictionary is larger than 256 MiB"},
      {"dict_over_limit_crypt.lzma", ErrDamagedArchive, "LZMA dictionary is larger than 256 MiB"},
      {"dict_over_limit.xz", ErrDamagedArchive, "XZ stream needs more than 256 MiB of memory"},
      {"props_size_4.lzma", ErrDamagedArchive, "LZMA header is damaged"},
      {"props_byte_225.lzma", ErrDamagedArchive, "LZMA properties are damaged"},
      {"lc_lp_over_4.lzma", ErrDamagedArchive, "LZMA properties are not supported"},
      {"filter_unknown.xz", ErrDamagedArchive, "XZ stream uses a filter or option that is not supported"},
      {"not_xz.xz", ErrDamagedArchive, "not an XZ stream"},
      {"header_short.lzma", ErrDamagedArchive, "LZMA data ends early"},
      {"truncated.lzma", ErrDamagedArchive, "LZMA data ends early"},
      {"truncated.xz", ErrDamagedArchive, "XZ data ends early"},
      {"footer_missing.xz", ErrDamagedArchive, "XZ data ends early"},
      {"bad_check.xz", ErrDamagedArchive, "XZ data is damaged"},
      {"damaged.lzma", ErrDamagedArchive, "LZMA data is damaged"},
      {"damaged.xz", ErrDamagedArchive, "XZ data is damaged"},
      {"longer.xz", ErrDamagedArchive, "XZ data is longer than the entry"},
      {"trailing_junk.xz", ErrDamagedArchive, "XZ data is damaged"},
  };
  CZipReader zip;
  ASSERT_EQ(ErrorOf([&] { zip.OpenArchive(Archive("lzma_hostile.zip"), ModeOpenReadOnly, 0); }), 0);
  ASSERT_TRUE(zip.SetArchivePassword(kPassword));
  ASSERT_EQ(zip.GetCount(), 2 * static_cast<int>(sizeof cases / sizeof cases[0]));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int index = FindEntry(zip, c.name);
    ASSERT_GE(index, 0);
    std::string detail;
    for (uint32_t chunk : {1u, 65536u}) {
      SCOPED_TRACE(chunk);
      EXPECT_EQ(ErrorWithDetail([&] {
                  ReadAll(zip, index, chunk);
                  EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
                },
                                detail),
                c.code);
      EXPECT_EQ(detail, c.detail);
      if (zip.EntryState() != CZipReader::EntryNone) zip.CloseEntry(nullptr, true);
      // The next entry reads as if nothing had happened.
      EXPECT_EQ(ErrorOf([&] {
                  EXPECT_EQ(ReadAll(zip, index + 1, 65536).size(), 5000u);
                  EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
                }),
                0);
    }
  }
  // ExtractEntry leaves the reader ready too, and the failed file is the
  // caller's to remove (the launcher removes the whole work folder).
  ScratchDir dir;
  EXPECT_EQ(ErrorOf([&] { zip.ExtractEntry(FindEntry(zip, "damaged.xz"), dir.Path().c_str(), true, nullptr, 4096); }),
            ErrDamagedArchive);
  EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
  EXPECT_TRUE(zip.ExtractEntry(FindEntry(zip, "good_after_damaged.xz"), dir.Path().c_str(), true, nullptr, 4096));
  zip.CloseArchive(0, false);
}

}  // namespace
