#include "zip/zip_directory.h"

#include <algorithm>
#include <cstdlib>

#include "zip/zip_exception.h"
#include "zip/zip_fields.h"
#include "zip/zip_store.h"

using ZipField::Get16;
using ZipField::Get32;
using ZipField::Get64;

namespace {

constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kLocatorSize = 20;
constexpr uint32_t kZip64EndSize = 56;
constexpr uint32_t kCentralFixedSize = 46;
const char kSeveralDisks[] = "archives on several disks are not supported";
// Central records are read through a window of this many bytes.
constexpr uint32_t kWindowSize = 65536;

// `length` bytes from `start` end at or before `limit`, without overflow.
bool FitsBefore(uint64_t start, uint64_t length, uint64_t limit) {
  return start <= limit && length <= limit - start;
}

// A field of the ordinary end record agrees with its Zip64 value when it
// holds that value or the marker that sends the reader to the Zip64 record.
bool Agrees(uint64_t value, uint64_t zip64Value, uint64_t marker) {
  return value == marker || value == zip64Value;
}

int CompareSlots(const void* a, const void* b) {
  const uint64_t x = *static_cast<const uint64_t*>(a);
  const uint64_t y = *static_cast<const uint64_t*>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

void CZipDirectory::ThrowError(int code, const char* detail) const { store->ThrowError(code, detail); }

void CZipDirectory::Clear() {
  onDisk = false;
  endRecordPosition = 0;
  bytesBeforeArchive = 0;
  current = nullptr;
  archiveComment.Release();
}

uint64_t CZipDirectory::FindEndRecord() {
  CZipFileBase* file = store->file;
  const uint64_t length = file->GetLength();
  const uint32_t maxBack = static_cast<uint32_t>(std::min<uint64_t>(length, 65557));
  if (maxBack == 0) ThrowError(ErrNoCentralDirectory);

  CZipBuffer search(static_cast<uint32_t>(searchBufferSize), false);
  const unsigned char* buf = reinterpret_cast<const unsigned char*>(search.data);
  uint32_t searched = 0;
  uint32_t d;
  do {
    d = std::min<uint32_t>(searched + static_cast<uint32_t>(searchBufferSize), maxBack);
    uint32_t n = d - searched;
    file->Seek(static_cast<int64_t>(length - d), 0);
    if (file->Read(search.data, n) != n) ThrowError(ErrDamagedArchive);
    if (n >= 4) {
      for (uint32_t i = n - 4 + 1; i-- > 0;) {
        if (buf[i] == 0x50 && buf[i + 1] == 0x4B && buf[i + 2] == 0x05 && buf[i + 3] == 0x06)
          return length - d + i;
      }
    }
    searched = d - 3;
  } while (d < maxBack);
  ThrowError(ErrNoCentralDirectory);
}

void CZipDirectory::ReadDirectory() {
  endRecordPosition = FindEndRecord();
  CZipFileBase* file = store->file;
  file->Seek(static_cast<int64_t>(endRecordPosition), 0);
  unsigned char end[kEndRecordSize];
  if (file->Read(end, kEndRecordSize) != kEndRecordSize) ThrowError(ErrDamagedArchive);
  endSignature = Get32(end);
  thisDisk = Get16(end + 4);
  directoryDisk = Get16(end + 6);
  entriesOnThisDisk = Get16(end + 8);
  totalEntries = Get16(end + 10);
  directorySize = Get32(end + 12);
  directoryOffset = Get32(end + 16);
  const uint16_t commentLength = Get16(end + 20);
  archiveComment.Allocate(commentLength, false);
  if (commentLength && file->Read(archiveComment.data, commentLength) != commentLength)
    ThrowError(ErrDamagedArchive);

  // The directory ends where the record after it begins: the Zip64 end
  // record when there is one, else the end record. What lies before the
  // archive's start is the difference to the offsets the records give.
  uint64_t directoryEnd = endRecordPosition;
  ReadZip64End(directoryEnd);

  // Only single-file archives are read: an end record that names another
  // volume would have the storage open files beside the archive.
  if (thisDisk != 0 || directoryDisk != 0) ThrowError(ErrDamagedArchive, kSeveralDisks);
  store->UpdateSpanMode(0);
  if (!FitsBefore(directoryOffset, directorySize, directoryEnd)) ThrowError(ErrDamagedArchive);
  bytesBeforeArchive = directoryEnd - directoryOffset - directorySize;
  if ((directorySize == 0) != (totalEntries == 0)) ThrowError(ErrDamagedArchive);
  // Every entry takes a central record of at least its fixed size: a count
  // beyond that is damage, and nothing is allocated for it.
  if (totalEntries > UINT64_MAX / kCentralFixedSize || totalEntries * kCentralFixedSize > directorySize)
    ThrowError(ErrDamagedArchive);
  onDisk = true;
  if (directorySize != 0) ReadHeaders();
}

void CZipDirectory::ReadZip64End(uint64_t& recordPosition) {
  if (endRecordPosition < kLocatorSize + kZip64EndSize) return;
  CZipFileBase* file = store->file;
  const uint64_t locatorPosition = endRecordPosition - kLocatorSize;
  unsigned char locator[kLocatorSize];
  file->Seek(static_cast<int64_t>(locatorPosition), 0);
  if (file->Read(locator, kLocatorSize) != kLocatorSize) ThrowError(ErrDamagedArchive);
  if (Get32(locator) != 0x07064B50) return;
  // One volume: the record is on disk 0 of at most one disk.
  if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) ThrowError(ErrDamagedArchive, kSeveralDisks);

  // The Zip64 end record (without extensible data) lies right before the
  // locator; the locator's offset is checked against the directory below.
  recordPosition = locatorPosition - kZip64EndSize;
  unsigned char record[kZip64EndSize];
  file->Seek(static_cast<int64_t>(recordPosition), 0);
  if (file->Read(record, kZip64EndSize) != kZip64EndSize) ThrowError(ErrDamagedArchive);
  if (Get32(record) != 0x06064B50) ThrowError(ErrDamagedArchive);
  if (Get64(record + 4) != kZip64EndSize - 12)
    ThrowError(ErrDamagedArchive, "Zip64 end records with extensible data are not supported");
  const uint32_t disk = Get32(record + 16);
  const uint32_t startDisk = Get32(record + 20);
  const uint64_t onThisDisk = Get64(record + 24);
  const uint64_t total = Get64(record + 32);
  const uint64_t size = Get64(record + 40);
  const uint64_t offset = Get64(record + 48);
  if (!Agrees(thisDisk, disk, 0xFFFF) || !Agrees(directoryDisk, startDisk, 0xFFFF) ||
      !Agrees(entriesOnThisDisk, onThisDisk, 0xFFFF) || !Agrees(totalEntries, total, 0xFFFF) ||
      !Agrees(directorySize, size, 0xFFFFFFFF) || !Agrees(directoryOffset, offset, 0xFFFFFFFF) ||
      onThisDisk != total)
    ThrowError(ErrDamagedArchive);
  // The locator names the Zip64 record's offset from the archive's start:
  // right behind the central directory.
  if (offset > UINT64_MAX - size || Get64(locator + 8) != offset + size) ThrowError(ErrDamagedArchive);
  thisDisk = disk;
  directoryDisk = startDisk;
  entriesOnThisDisk = onThisDisk;
  totalEntries = total;
  directorySize = size;
  directoryOffset = offset;
}

const unsigned char* CZipDirectory::CentralBytes(uint64_t offset, uint32_t count) const {
  if (!FitsBefore(offset, count, directorySize)) ThrowError(ErrDamagedArchive);
  if (offset < windowStart || offset + count > windowStart + windowLength) {
    const uint64_t left = directorySize - offset;
    const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(std::max(count, kWindowSize), left));
    if (window.size < length) window.Allocate(length, false);
    CZipFileBase* file = store->file;
    file->Seek(static_cast<int64_t>(bytesBeforeArchive + directoryOffset + offset), 0);
    if (file->Read(window.data, length) != length) ThrowError(ErrDamagedArchive);
    windowStart = offset;
    windowLength = length;
  }
  return reinterpret_cast<const unsigned char*>(window.data) + (offset - windowStart);
}

uint32_t CZipDirectory::ParseCentralAt(uint64_t offset, CZipEntryHeader& into, bool withVariableParts) const {
  const uint32_t size = CZipEntryHeader::CentralRecordSize(CentralBytes(offset, kCentralFixedSize));
  if (!into.ParseCentral(CentralBytes(offset, size), withVariableParts)) ThrowError(ErrDamagedArchive);
  return size;
}

void CZipDirectory::ReadHeaders() {
  DropTable();
  entries.reserve(static_cast<size_t>(totalEntries));
  CZipEntryHeader record;
  uint64_t offset = 0;
  for (uint64_t i = 0; i < totalEntries; ++i) {
    const uint32_t size = ParseCentralAt(offset, record, false);
    if (record.diskStart != 0) ThrowError(ErrDamagedArchive, kSeveralDisks);
    entries.push_back(Slot{record.localHeaderOffset, offset});
    offset += size;
  }
  // Entries are taken in the order of their data; two entries that share a
  // local header are damage. Writers list them in that order already, and
  // then nothing is sorted (the C library's sort may take a second table).
  const auto before = [](const Slot& a, const Slot& b) { return a.localOffset < b.localOffset; };
  if (!std::is_sorted(entries.begin(), entries.end(), before))
    qsort(entries.data(), entries.size(), sizeof(Slot), CompareSlots);
  for (size_t i = 1; i < entries.size(); ++i)
    if (entries[i].localOffset == entries[i - 1].localOffset) ThrowError(ErrDamagedArchive);
  // Each entry's local header and data end before the next entry begins
  // (the name and extra field of the local header are counted exactly when
  // the entry is opened).
  for (size_t i = 0; i < entries.size(); ++i) {
    ParseCentralAt(entries[i].centralOffset, record, false);
    if (!FitsBefore(entries[i].localOffset, CZipEntryHeader::LocalFixedSize, DataLimit(i)) ||
        !FitsBefore(entries[i].localOffset + CZipEntryHeader::LocalFixedSize, record.compressedSize, DataLimit(i)))
      ThrowError(ErrDamagedArchive);
  }
}

void CZipDirectory::DropTable() {
  entries.clear();
  entries.shrink_to_fit();
  windowLength = 0;
  parsedIndex = -1;
}

const CZipEntryHeader* CZipDirectory::Get(int index) const {
  if (parsedIndex != index) {
    parsedIndex = -1;
    ParseCentralAt(entries[static_cast<size_t>(index)].centralOffset, parsed, true);
    parsed.ConvertNameForPlatform();
    parsedIndex = index;
  }
  return &parsed;
}

uint64_t CZipDirectory::DataLimit(size_t index) const {
  return index + 1 < entries.size() ? entries[index + 1].localOffset : directoryOffset;
}

void CZipDirectory::OpenLocal(int index) {
  opened = *Get(index);
  current = &opened;
  store->file->Seek(static_cast<int64_t>(bytesBeforeArchive + opened.localHeaderOffset), 0);
  if (!opened.MatchLocal(store, localExtra, openedZip64)) ThrowError(ErrDamagedArchive);
  const uint64_t dataStart = store->file->GetPosition() - bytesBeforeArchive;
  if (!FitsBefore(dataStart, opened.compressedSize, DataLimit(static_cast<size_t>(index))))
    ThrowError(ErrDamagedArchive);
}

void CZipDirectory::CloseLocal(bool afterException) {
  // The entry is released before its descriptor is checked, so that a
  // failed check leaves no entry behind.
  if (!current) return;
  current = nullptr;
  localExtra.Release();
  if (afterException || !(opened.flags & 8)) return;
  unsigned char d[20];
  store->Read(d, 4, false);
  if (Get32(d) != 0x08074B50) store->file->Seek(-4, 1);
  store->Read(d, CZipEntryHeader::DescriptorSize(openedZip64), false);
  if (!opened.MatchDescriptor(d, openedZip64)) ThrowError(ErrDamagedArchive);
}

void CZipDirectory::Release(bool all) {
  current = nullptr;
  localExtra.Release();
  if (all) {
    DropTable();
    window.Release();
    archiveComment.Release();
  }
}
