#pragma once
// The central directory of an open archive: finds the end record (also when
// other data precedes the archive in the file), reads one record per entry
// and positions the storage on an entry's data.

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
  virtual ~CZipDirectory();

  void Clear();
  void ReadDirectory();
  uint32_t FindEndRecord();
  void ReadHeaders();
  bool IsValidIndex(int index) const {
    return index >= 0 && static_cast<size_t>(index) < headers.size();
  }
  int GetCount() const { return static_cast<int>(headers.size()); }
  CZipEntryHeader* Get(int index) const { return headers[index]; }
  void OpenLocal(uint16_t index);
  void CloseLocal(bool afterException);
  void Release(bool all);

  uint32_t endSignature = 0;
  CZipBuffer archiveComment;
  CZipBuffer localExtra;
  CZipEntryHeader* current = nullptr;
  CZipStore* store;
  int32_t searchBufferSize = 0x8000;
  std::vector<CZipEntryHeader*> headers;
  uint32_t endRecordPosition = 0;
  uint32_t bytesBeforeArchive = 0;
  uint16_t thisDisk = 0;
  uint16_t directoryDisk = 0;
  uint16_t entriesOnThisDisk = 0;
  uint16_t totalEntries = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
  bool onDisk = false;

 private:
  [[noreturn]] void ThrowError(int code);
  // Offset (from the archive's start) where the data of entry `index` must
  // end: the next entry's local header, or the central directory.
  uint64_t DataLimit(size_t index) const;
  void DeleteHeaders();
};
