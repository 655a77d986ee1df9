// The archive reader's format side: end-record search, directory order,
// local header and descriptor checks, entry attributes and names, decryption.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "reader_test_util.h"
#include "zip/zip_crypt.h"
#include "zip/zip_host.h"

using namespace zipreadertest;
using testsupport::ReadFile;

namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

int OpenError(CZipReader& zip, const std::string& name) {
  return ErrorOf([&] { zip.OpenArchive(Archive(name), ModeOpenReadOnly, 0); });
}

TEST(ZipDirectory, EndRecordSearchEdges) {
  {
    // 65535-byte comment: the signature lies exactly 65557 bytes from the end.
    CZipReader zip;
    ASSERT_EQ(OpenError(zip, "comment_max.zip"), 0);
    EXPECT_EQ(zip.GetCount(), 3);
    EXPECT_EQ(zip.Directory().archiveComment.size, 65535u);
    EXPECT_EQ(zip.Directory().endRecordPosition,
              zip.Directory().directoryOffset + zip.Directory().directorySize);
    EXPECT_EQ(ReadAll(zip, 0, 4096), Repeat("alpha\n", 100));
    EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
  }
  {
    // One byte further back: not searched.
    CZipReader zip;
    EXPECT_EQ(OpenError(zip, "comment_too_far.zip"), ErrNoCentralDirectory);
    EXPECT_TRUE(zip.IsClosed(true) || zip.GetCount() == 0);
  }
  {
    // Signature straddling the boundary of the first two search windows.
    CZipReader zip;
    ASSERT_EQ(OpenError(zip, "comment_straddle.zip"), 0);
    EXPECT_EQ(zip.GetCount(), 3);
  }
  {
    // An end record inside the comment is the last one and is taken.
    CZipReader zip;
    ASSERT_EQ(OpenError(zip, "comment_with_end.zip"), 0);
    EXPECT_EQ(zip.GetCount(), 0);
  }
  {
    CZipReader zip;
    EXPECT_EQ(OpenError(zip, "empty_file.zip"), ErrNoCentralDirectory);
  }
  {
    CZipReader zip;
    EXPECT_EQ(OpenError(zip, "truncated.zip"), ErrNoCentralDirectory);
  }
}

TEST(ZipDirectory, EntryCountAndSizeConsistency) {
  CZipReader empty;
  ASSERT_EQ(OpenError(empty, "py_empty_archive.zip"), 0);
  EXPECT_EQ(empty.GetCount(), 0);
  CZipEntryHeader h;
  EXPECT_FALSE(empty.GetEntryInfo(h, 0));
  EXPECT_FALSE(empty.OpenEntry(0));

  CZipReader bad;
  EXPECT_EQ(OpenError(bad, "zero_entries_nonzero_size.zip"), ErrDamagedArchive);
  bad.CloseArchive(1, false);
  EXPECT_TRUE(bad.IsClosed(true));
}

TEST(ZipDirectory, BytesBeforeArchive) {
  CZipReader plain, behind;
  ASSERT_EQ(OpenError(plain, "py_deflated.zip"), 0);
  ASSERT_EQ(OpenError(behind, "behind_1000.zip"), 0);
  EXPECT_EQ(plain.Directory().bytesBeforeArchive, 0u);
  EXPECT_EQ(behind.Directory().bytesBeforeArchive, 1000u);
  for (int i = 0; i < behind.GetCount(); ++i) {
    std::string data = ReadAll(behind, i, 65536);
    EXPECT_EQ(behind.CloseEntry(nullptr, false), 1);
    EXPECT_FALSE(data.empty());
  }
}

TEST(ZipDirectory, SortedByLocalHeaderOffsetAndDuplicatesRefused) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "reordered.zip"), 0);
  EXPECT_EQ(Names(zip), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  uint32_t last = 0;
  for (int i = 0; i < zip.GetCount(); ++i) {
    CZipEntryHeader h;
    ASSERT_TRUE(zip.GetEntryInfo(h, i));
    EXPECT_GE(h.localHeaderOffset, last);
    last = h.localHeaderOffset;
  }
  CZipReader dup;
  EXPECT_EQ(OpenError(dup, "duplicate_offset.zip"), ErrDamagedArchive);
  dup.CloseArchive(1, false);
}

TEST(ZipHeaders, LocalHeaderMatching) {
  struct Case {
    const char* archive;
    int openError;
  } cases[] = {
      {"flags_high.zip", 0},            // bits 4-15 may differ
      {"local_name_differs.zip", 0},    // same length, other bytes
      {"flags_low.zip", ErrDamagedArchive},
      {"method_12.zip", ErrDamagedArchive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    CZipReader zip;
    ASSERT_EQ(OpenError(zip, c.archive), 0);
    EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(0); }), c.openError);
    // A refused entry leaves nothing open: the next entry opens.
    if (c.openError) {
      EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
      EXPECT_TRUE(zip.OpenEntry(1));
    }
    zip.CloseArchive(0, false);
  }
}

TEST(ZipHeaders, DataDescriptors) {
  for (const char* name : {"descriptor_sig.zip", "descriptor_nosig.zip"}) {
    SCOPED_TRACE(name);
    CZipReader zip;
    ASSERT_EQ(OpenError(zip, name), 0);
    for (int i = 0; i < zip.GetCount(); ++i) {
      ReadAll(zip, i, 1000);
      EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(zip.CloseEntry(nullptr, false), 1); }), 0);
    }
  }
  CZipReader bad;
  ASSERT_EQ(OpenError(bad, "descriptor_bad.zip"), 0);
  ReadAll(bad, 0, 1000);
  EXPECT_EQ(ErrorOf([&] { bad.CloseEntry(nullptr, false); }), ErrDamagedArchive);
  EXPECT_EQ(bad.CloseEntry(nullptr, true), 0);  // the failed check closed the entry
}

TEST(ZipHeaders, AttributesPerHostSystem) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "hosts.zip"), 0);
  struct Case {
    const char* name;
    uint32_t dosBits;  // lower half, the same on every platform
    bool folder;
  } cases[] = {
      {"h0_dir/", 0x10, true},        {"h0_file.txt", 0x21, false},
      {"h3_dir/", 0x10, true},        {"h3_file.txt", 0x20, false},
      {"h3_ro.txt", 0x21, false},     {"h3_exec.sh", 0x00, false},
      {"h7_file.txt", 0x11, true},    {"h11_file.txt", 0x20, false},
      {"h19_file.txt", 0x20, false},  {"h19_dir/", 0x10, true},
      {"h0_zero_dir/", 0x10, true},   {"h0_zero", 0x00, false},
      // A trailing separator names a folder whatever the attributes say.
      {"h3_filemode_dir/", 0x10, true}, {"h0_archive_dir/", 0x10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int i = FindEntry(zip, c.name);
    ASSERT_GE(i, 0);
    CZipEntryHeader h;
    ASSERT_TRUE(zip.GetEntryInfo(h, i));
    EXPECT_EQ(h.GetLocalAttributes() & 0xFFFF, c.dosBits);
    EXPECT_EQ(h.IsFolder(), c.folder);
  }
  CZipEntryHeader h;
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h19_file.txt")));
  EXPECT_EQ(h.GetLocalAttributes(), CZipEntryHeader::DefaultFileAttributes);
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h19_dir/")));
  EXPECT_EQ(h.GetLocalAttributes(), CZipEntryHeader::DefaultFolderAttributes);
#ifdef _WIN32
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h3_dir/")));
  EXPECT_EQ(h.GetLocalAttributes(), 0x10u);
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h0_zero_dir/")));
  EXPECT_EQ(h.GetLocalAttributes(), CZipEntryHeader::DefaultFolderAttributes);
#else
  // Unix modes travel in the upper half on Linux.
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h3_exec.sh")));
  EXPECT_EQ(h.GetLocalAttributes() >> 16, 0x81EDu);
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h3_ro.txt")));
  EXPECT_EQ(h.GetLocalAttributes() >> 16, 0x8124u);
  ASSERT_TRUE(zip.GetEntryInfo(h, FindEntry(zip, "h0_file.txt")));
  EXPECT_EQ(h.GetLocalAttributes() >> 16, 0x8124u);  // read-only from MS-DOS bits
#endif
  EXPECT_EQ(zip.HostSystem(), 0u);  // taken from entry 0 (host 0)
}

TEST(ZipHeaders, NameConversionFromOemHosts) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "oem_names.zip"), 0);
  std::vector<std::string> names = Names(zip);
  ASSERT_EQ(names.size(), 2u);
  // CP437 0x81 0x84 are u and a with diaeresis, in UTF-8 on both platforms.
  EXPECT_EQ(names[0], "gr\xC3\xBC\xC3\xA4" "e.txt");
  EXPECT_EQ(names[1], "gr\x81\x84" "e.txt");  // host 11: bytes as they are
  // The converted name still matches its local header.
  ReadAll(zip, 0, 100);
  EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
}

TEST(ZipHeaders, EveryNameFormBecomesUtf8) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "name_forms.zip"), 0);
  const std::vector<std::string> expected = {
      "bit11 \xC3\xA9\xE6\x97\xA5.txt",                         // bit 11
      "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC.txt",  // Unicode Path field
      "Gr\xC3\xBC\xC3\x9F" "e !!.txt",                         // stale field: CP437
      "dos \xC3\xA4\xE2\x95\x94.txt",                         // CP437
      "raw \xC3\xA9\xF0\x9F\x98\x80.txt",                      // host 3, raw UTF-8
      "bad \xFF.txt",                                            // bit 11, not UTF-8
      "latin \xE9.txt",                                          // host 3, not UTF-8
  };
  EXPECT_EQ(Names(zip), expected);
  CZipEntryHeader h;
  for (int i = 0; i < zip.GetCount(); ++i) {
    ASSERT_TRUE(zip.GetEntryInfo(h, i));
    const bool usable = i < 5 || (i == 6 && testsupport::kSep == '/');
    EXPECT_EQ(h.HasUsableName(), usable) << i;
    // The data is read whatever the name.
    EXPECT_EQ(ReadAll(zip, i, 10), std::to_string(i));
    EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
  }
  ASSERT_TRUE(zip.GetEntryInfo(h, 5));
  EXPECT_EQ(h.GetDisplayName(), "bad \\xFF.txt");
}

TEST(ZipHeaders, ModificationTimeIsLocalTime) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "py_stored.zip"), 0);
  CZipEntryHeader h;
  ASSERT_TRUE(zip.GetEntryInfo(h, 0));
  time_t t = h.GetModTime();
  ASSERT_NE(t, static_cast<time_t>(-1));
  struct tm* local = localtime(&t);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->tm_year, 121);
  EXPECT_EQ(local->tm_mon, 5);
  EXPECT_EQ(local->tm_mday, 15);
  EXPECT_EQ(local->tm_hour, 13);
  EXPECT_EQ(local->tm_min, 45);
  EXPECT_EQ(local->tm_sec, 30);
}

// --- decryption ---------------------------------------------------------

// The mirror step that producers use to encrypt.
std::string Encrypt(const std::string& plain, const char* password) {
  CZipCryptKeys keys;
  keys.InitKeys(reinterpret_cast<const unsigned char*>(password), std::strlen(password));
  std::string out = plain;
  for (char& c : out) {
    unsigned char t = keys.KeyStreamByte();
    keys.UpdateKeys(static_cast<unsigned char>(c));
    c = static_cast<char>(static_cast<unsigned char>(c) ^ t);
  }
  return out;
}

TEST(ZipCrypt, KeysAndBuffersOfAnySize) {
  CZipCryptKeys keys;
  keys.InitKeys(nullptr, 0);
  EXPECT_EQ(keys.key0, 0x12345678u);
  EXPECT_EQ(keys.key1, 0x23456789u);
  EXPECT_EQ(keys.key2, 0x34567890u);

  std::mt19937 rnd(7);
  std::string plain(200000, '\0');
  for (char& c : plain) c = static_cast<char>(rnd());
  const std::string cipher = Encrypt(plain, kPassword);
  ASSERT_NE(cipher, plain);
  for (size_t chunk : {size_t(1), size_t(3), size_t(12), size_t(4096), size_t(65536),
                       plain.size()}) {
    SCOPED_TRACE(chunk);
    CZipCryptKeys k;
    k.InitKeys(reinterpret_cast<const unsigned char*>(kPassword), std::strlen(kPassword));
    std::string data = cipher;
    for (size_t at = 0; at < data.size(); at += chunk)
      k.DecryptBuffer(reinterpret_cast<unsigned char*>(&data[at]),
                      std::min(chunk, data.size() - at));
    EXPECT_EQ(data, plain);
  }
  // The single-byte step agrees with the buffer loop.
  CZipCryptKeys k;
  k.InitKeys(reinterpret_cast<const unsigned char*>(kPassword), std::strlen(kPassword));
  for (size_t i = 0; i < 1000; ++i)
    ASSERT_EQ(k.DecryptByte(static_cast<unsigned char>(cipher[i])),
              static_cast<unsigned char>(plain[i]));
}

TEST(ZipCrypt, LanesDecryptAsEachAlone) {
  // Lanes of different lengths (empty ones too), each with its own password:
  // every lane ends as one DecryptBuffer call would, keys included.
  const std::vector<std::vector<size_t>> cases = {
      {5000}, {3000, 3000}, {1, 7000, 0}, {4096, 65536, 12, 300}, {0, 0}, {9, 2, 9, 2}};
  std::mt19937 rnd(11);
  for (const auto& sizes : cases) {
    CZipCryptKeys keys[4], alone[4];
    std::string data[4], expected[4];
    CZipCryptKeys* laneKeys[4];
    unsigned char* laneData[4];
    for (size_t l = 0; l < sizes.size(); ++l) {
      const std::string password = "lane" + std::to_string(l);
      keys[l].InitKeys(reinterpret_cast<const unsigned char*>(password.data()), password.size());
      alone[l] = keys[l];
      data[l].resize(sizes[l] + 1);  // a byte beyond the lane stays as it is
      for (char& c : data[l]) c = static_cast<char>(rnd());
      expected[l] = data[l];
      alone[l].DecryptBuffer(reinterpret_cast<unsigned char*>(&expected[l][0]), sizes[l]);
      laneKeys[l] = &keys[l];
      laneData[l] = reinterpret_cast<unsigned char*>(&data[l][0]);
    }
    CZipCryptKeys::DecryptLanes(laneKeys, laneData, sizes.data(), static_cast<unsigned>(sizes.size()));
    for (size_t l = 0; l < sizes.size(); ++l) {
      SCOPED_TRACE(::testing::Message() << "lane " << l << " of " << sizes.size());
      EXPECT_EQ(data[l], expected[l]);
      EXPECT_EQ(keys[l].key0, alone[l].key0);
      EXPECT_EQ(keys[l].key1, alone[l].key1);
      EXPECT_EQ(keys[l].key2, alone[l].key2);
    }
  }
}

TEST(ZipCrypt, PasswordRules) {
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "izip_crypt.zip"), 0);
  int i = FindEntry(zip, "readme.txt");
  ASSERT_GE(i, 0);
  // No password, then a refused one: 110 either way.
  EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(i); }), ErrWrongPassword);
  EXPECT_TRUE(zip.SetArchivePassword(kPassword));
  EXPECT_FALSE(zip.SetArchivePassword("caf\xE9"));
  EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(i); }), ErrWrongPassword);
  EXPECT_EQ(zip.EntryState(), CZipReader::EntryNone);
  // A wrong password fails the check byte (deterministic for this entry).
  EXPECT_TRUE(zip.SetArchivePassword("wrong password"));
  EXPECT_NE(ErrorOf([&] {
              ReadAll(zip, i, 65536);
              zip.CloseEntry(nullptr, false);
            }),
            0);
  zip.CloseEntry(nullptr, true);
  // Null removes the password; the empty text sets none.
  EXPECT_TRUE(zip.SetArchivePassword(nullptr));
  EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(i); }), ErrWrongPassword);
  EXPECT_TRUE(zip.SetArchivePassword(""));
  EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(i); }), ErrWrongPassword);
  // Refused while an entry is open; the password in force stays.
  EXPECT_TRUE(zip.SetArchivePassword(kPassword));
  ASSERT_TRUE(zip.OpenEntry(i));
  EXPECT_FALSE(zip.SetArchivePassword("other"));
  std::string data;
  std::vector<char> buf(777);
  for (uint32_t n; (n = zip.ReadEntry(buf.data(), 777)) > 0;) data.append(buf.data(), n);
  EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
  EXPECT_EQ(data, Payload("readme.txt"));
  // Opening an archive again empties the password.
  zip.CloseArchive(0, false);
  ASSERT_EQ(OpenError(zip, "izip_crypt.zip"), 0);
  EXPECT_EQ(ErrorOf([&] { zip.OpenEntry(i); }), ErrWrongPassword);
}

TEST(ZipCrypt, CheckByteFromTimeWithDescriptor) {
  // Streamed entries (flag bit 3) carry the time's high byte as check byte.
  CZipReader zip;
  ASSERT_EQ(OpenError(zip, "izip_stream_crypt.zip"), 0);
  ASSERT_TRUE(zip.SetArchivePassword(kPassword));
  int i = FindEntry(zip, "bin/mixed.dat");
  CZipEntryHeader h;
  ASSERT_TRUE(zip.GetEntryInfo(h, i));
  ASSERT_TRUE(h.flags & 8);
  ASSERT_TRUE(h.flags & 1);
  EXPECT_EQ(ReadAll(zip, i, 65536), Payload("bin/mixed.dat"));
  EXPECT_EQ(zip.CloseEntry(nullptr, false), 1);
}

}  // namespace

#ifndef _WIN32
// Entry times become the calendar times mktime gives, in zones with and
// without daylight saving time (the hour skipped in spring aside).
TEST(ZipHostTime, LocalTimesConvertAsMktimeDoes) {
    const char* const zones[] = {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe"};
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    for (const char* zone : zones) {
        setenv("TZ", zone, 1);
        tzset();
        for (int day = 0; day < 800; day += 3) {
            for (int hour = 0; hour < 24; hour += 5) {
                struct tm a {};
                a.tm_year = 120;
                a.tm_mon = 0;
                a.tm_mday = 1 + day;
                a.tm_hour = hour;
                a.tm_min = 17;
                a.tm_isdst = -1;
                struct tm b = a;
                const time_t expected = mktime(&a);
                EXPECT_EQ(ZipHost::LocalTimeToCalendar(b), expected) << zone << " day " << day << " " << hour;
            }
        }
    }
    if (before) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}
#endif
