#pragma once
// The central directory of an open archive: finds the end record (also when
// other data precedes the archive in the file) and, where the archive has
// one, the Zip64 end record through its locator; keeps a compact table of
// the entries and parses an entry's central record again whenever it is
// asked for, so that memory does not grow with the entries' names and extra
// fields; positions the storage on an entry's data.

#include <cstdint>
#include <vector>

#include "zip/zip_buffer.h"
#include "zip/zip_entry_header.h"

class CZipStore;

class CZipDirectory {
 public:
  explicit CZipDirectory(CZipStore* store) : store(store) {}
  CZipDirectory(const CZipDirectory&) = delete;
  CZipDirectory& operator=(const CZipDirectory&) = delete;
  virtual ~CZipDirectory() = default;

  void Clear();
  void ReadDirectory();
  uint64_t FindEndRecord();
  void ReadHeaders();
  bool IsValidIndex(int index) const { return index >= 0 && static_cast<size_t>(index) < entries.size(); }
  int GetCount() const { return static_cast<int>(entries.size()); }
  // The record of entry `index` (in the order of the entries' data), parsed
  // from the central directory; valid until the next call.
  const CZipEntryHeader* Get(int index) const;
  // Where the local header of entry `index` lies, from the archive's start.
  uint64_t LocalOffset(int index) const { return entries[static_cast<size_t>(index)].localOffset; }
  // Offset (from the archive's start) where the data of entry `index` must
  // end: the next entry's local header, or the central directory.
  uint64_t DataLimit(size_t index) const;
  void OpenLocal(int index);
  void CloseLocal(bool afterException);
  void Release(bool all);

  uint32_t endSignature = 0;
  CZipBuffer archiveComment;
  CZipBuffer localExtra;
  // The entry opened by OpenLocal: a copy of its record.
  const CZipEntryHeader* current = nullptr;
  CZipStore* store;
  int32_t searchBufferSize = 0x8000;
  uint64_t endRecordPosition = 0;
  uint64_t bytesBeforeArchive = 0;
  uint32_t thisDisk = 0;
  uint32_t directoryDisk = 0;
  uint64_t entriesOnThisDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
  bool onDisk = false;

 private:
  // An entry in the table: where its data begins (the local header's offset)
  // from the archive's start, and where its central record lies, from the
  // central directory's start.
  struct Slot {
    uint64_t localOffset;
    uint64_t centralOffset;
  };

  [[noreturn]] void ThrowError(int code, const char* detail = nullptr) const;
  // When a locator lies before the end record: reads the Zip64 end record it
  // leads to, takes its values, checked against the end record's, and sets
  // `recordPosition` to where it lies; else changes nothing.
  void ReadZip64End(uint64_t& recordPosition);
  // `count` bytes of the central directory from `offset` (from the
  // directory's start), read through a window that holds many records.
  const unsigned char* CentralBytes(uint64_t offset, uint32_t count) const;
  // Parses the central record at `offset` into `into`; returns its size.
  uint32_t ParseCentralAt(uint64_t offset, CZipEntryHeader& into, bool withVariableParts) const;
  // Forgets the entry table, the window's contents and the parsed record.
  void DropTable();
  std::vector<Slot> entries;
  mutable CZipBuffer window;
  mutable uint64_t windowStart = 0;
  mutable uint32_t windowLength = 0;
  mutable CZipEntryHeader parsed;
  mutable int parsedIndex = -1;
  CZipEntryHeader opened;
  // The open entry's local header has a Zip64 field: its data descriptor
  // holds 64-bit sizes.
  bool openedZip64 = false;
};
