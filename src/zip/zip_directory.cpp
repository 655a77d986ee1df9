#include "zip/zip_directory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "zip/zip_exception.h"
#include "zip/zip_store.h"

namespace {
inline uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The comparison hands duplicates back through this flag: an exception must
// not unwind through the C library's qsort.
bool duplicateFound = false;

int CompareHeaders(const void* a, const void* b) {
  const CZipEntryHeader* x = *static_cast<CZipEntryHeader* const*>(a);
  const CZipEntryHeader* y = *static_cast<CZipEntryHeader* const*>(b);
  if (x->diskStart != y->diskStart) return x->diskStart < y->diskStart ? -1 : 1;
  if (x->localHeaderOffset != y->localHeaderOffset)
    return x->localHeaderOffset < y->localHeaderOffset ? -1 : 1;
  duplicateFound = true;
  return 0;
}
}  // namespace

CZipDirectory::~CZipDirectory() { DeleteHeaders(); }

void CZipDirectory::ThrowError(int code) { store->ThrowError(code); }

void CZipDirectory::DeleteHeaders() {
  for (CZipEntryHeader* h : headers) delete h;
  headers.clear();
}

void CZipDirectory::Clear() {
  onDisk = false;
  endRecordPosition = 0;
  bytesBeforeArchive = 0;
  current = nullptr;
  archiveComment.Release();
}

uint32_t CZipDirectory::FindEndRecord() {
  CZipFileBase* file = store->file;
  uint32_t length = file->GetLength();
  uint32_t maxBack = std::min<uint32_t>(length, 65557);
  if (maxBack == 0) ThrowError(ErrNoCentralDirectory);

  CZipBuffer window(static_cast<uint32_t>(searchBufferSize), false);
  const unsigned char* buf = reinterpret_cast<const unsigned char*>(window.data);
  uint32_t searched = 0;
  uint32_t d;
  do {
    d = std::min<uint32_t>(searched + static_cast<uint32_t>(searchBufferSize), maxBack);
    uint32_t n = d - searched;
    file->Seek(length - d, 0);
    if (file->Read(window.data, n) != n) ThrowError(ErrDamagedArchive);
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
  file->Seek(static_cast<int32_t>(endRecordPosition), 0);
  unsigned char end[22];
  if (file->Read(end, 22) != 22) ThrowError(ErrDamagedArchive);
  endSignature = Get32(end);
  thisDisk = Get16(end + 4);
  directoryDisk = Get16(end + 6);
  entriesOnThisDisk = Get16(end + 8);
  totalEntries = Get16(end + 10);
  directorySize = Get32(end + 12);
  directoryOffset = Get32(end + 16);
  uint16_t commentLength = Get16(end + 20);

  // Only single-file archives are read: an end record that names another
  // volume would have the storage open files beside the archive.
  if (thisDisk != 0 || directoryDisk != 0) ThrowError(ErrDamagedArchive);
  store->UpdateSpanMode(thisDisk);
  bool single = store->SpanState() == 0;
  if (single && endRecordPosition < static_cast<uint32_t>(directoryOffset + directorySize))
    ThrowError(ErrDamagedArchive);
  archiveComment.Allocate(commentLength, false);
  if (commentLength && file->Read(archiveComment.data, commentLength) != commentLength)
    ThrowError(ErrDamagedArchive);
  bytesBeforeArchive = single ? endRecordPosition - directoryOffset - directorySize : 0;
  if ((directorySize == 0) != (totalEntries == 0)) ThrowError(ErrDamagedArchive);
  onDisk = true;
  store->ChangeDisk(directoryDisk);
  if (directorySize != 0) ReadHeaders();
}

void CZipDirectory::ReadHeaders() {
  store->file->Seek(static_cast<int32_t>(bytesBeforeArchive + directoryOffset), 0);
  DeleteHeaders();
  headers.reserve(totalEntries);
  for (uint32_t i = 0; i < totalEntries; ++i) {
    CZipEntryHeader* header = new CZipEntryHeader;
    headers.push_back(header);
    if (!header->ReadCentral(store)) ThrowError(ErrDamagedArchive);
    header->ConvertNameForPlatform();
  }
  duplicateFound = false;
  if (!headers.empty())
    qsort(headers.data(), headers.size(), sizeof(CZipEntryHeader*), CompareHeaders);
  if (duplicateFound) ThrowZipError(ErrDamagedArchive, nullptr);
  // Entries lie on this one volume, and each entry's local header and data
  // end before the next entry begins (the name and extra field of the local
  // header are counted exactly when the entry is opened).
  for (size_t i = 0; i < headers.size(); ++i) {
    const CZipEntryHeader* h = headers[i];
    if (h->diskStart != 0) ThrowError(ErrDamagedArchive);
    if (uint64_t{h->localHeaderOffset} + 30 + h->compressedSize > DataLimit(i))
      ThrowError(ErrDamagedArchive);
  }
}

uint64_t CZipDirectory::DataLimit(size_t index) const {
  return index + 1 < headers.size() ? headers[index + 1]->localHeaderOffset : directoryOffset;
}

void CZipDirectory::OpenLocal(uint16_t index) {
  current = headers[index];
  store->ChangeDisk(current->diskStart);
  store->file->Seek(static_cast<int32_t>(bytesBeforeArchive + current->localHeaderOffset), 0);
  uint16_t extraLength = 0;
  if (!current->MatchLocal(store, extraLength)) ThrowError(ErrDamagedArchive);
  localExtra.Release();
  if (extraLength) {
    int disk = store->currentDisk;
    localExtra.Allocate(extraLength, false);
    store->Read(localExtra.data, extraLength, true);
    if (store->currentDisk != disk) ThrowError(ErrDamagedArchive);
  }
  const uint64_t dataStart = store->file->GetPosition() - bytesBeforeArchive;
  if (dataStart + current->compressedSize > DataLimit(index)) ThrowError(ErrDamagedArchive);
}

void CZipDirectory::CloseLocal(bool afterException) {
  // The entry is released before its descriptor is checked, so that a
  // failed check leaves no entry behind.
  const CZipEntryHeader* entry = current;
  if (!entry) return;
  current = nullptr;
  localExtra.Release();
  if (afterException || !(entry->flags & 8)) return;
  unsigned char d[12];
  store->Read(d, 4, false);
  if (Get32(d) != 0x08074B50) store->file->Seek(-4, 1);
  store->Read(d, 12, false);
  if (!entry->MatchDescriptor(d)) ThrowError(ErrDamagedArchive);
}

void CZipDirectory::Release(bool all) {
  current = nullptr;
  localExtra.Release();
  if (all) {
    DeleteHeaders();
    archiveComment.Release();
  }
}
