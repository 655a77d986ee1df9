#include "zip/zip_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "zip/zip_exception.h"
#include "zip/zip_file.h"
#include "zip/zip_fs.h"

CZipReadState::CZipReadState() {
  std::memset(&stream, 0, sizeof stream);
}

CZipReadState::~CZipReadState() { readBuffer.Release(); }

// zlib's allocations for the open entry are kept in the list passed as the
// opaque value, so that blocks zlib did not free (after a failure) can be
// released when the entry is closed.
voidpf CZipReader::Alloc(voidpf opaque, uInt items, uInt size) {
  if (size && items > static_cast<size_t>(-1) / size) return Z_NULL;
  void* block = std::malloc(static_cast<size_t>(items) * size);
  if (!block) return Z_NULL;
  try {
    static_cast<std::list<void*>*>(opaque)->push_back(block);
  } catch (...) {
    std::free(block);
    return Z_NULL;
  }
  return block;
}

void CZipReader::Free(voidpf opaque, voidpf address) {
  auto* blocks = static_cast<std::list<void*>*>(opaque);
  auto it = std::find(blocks->begin(), blocks->end(), address);
  if (it != blocks->end()) blocks->erase(it);
  std::free(address);
}

CZipReader::CZipReader() : directory(&store) {
  readState.stream.zalloc = &CZipReader::Alloc;
  readState.stream.zfree = &CZipReader::Free;
  readState.stream.opaque = &zlibBlocks;
}

CZipReader::~CZipReader() {
  ReleaseZlibBlocks();
}

void CZipReader::ReleaseZlibBlocks() {
  for (void* block : zlibBlocks) std::free(block);
  zlibBlocks.clear();
}

void CZipReader::OpenArchive(const std::string& path, int mode, int volumeSize) {
  if (!IsClosed(true)) return;
  store.Open(path, mode, volumeSize);
  InitAfterOpen(mode);
}

void CZipReader::OpenArchive(CZipFileBase& source, int mode) {
  if (!IsClosed(true)) return;
  store.Open(source, mode);
  InitAfterOpen(mode);
}

void CZipReader::InitAfterOpen(int mode) {
  password.Release();
  entryState = EntryNone;
  directory.Clear();
  hostSystem = 0;
  if (mode == ModeOpen || mode == ModeOpenReadOnly) {
    directory.ReadDirectory();
    if (directory.GetCount() > 0) {
      uint32_t h = directory.Get(0)->versionMadeBy >> 8;
      if (h == 0 || h == 3 || h == 6 || h == 7 || h == 10) hostSystem = h;
    }
  }
}

bool CZipReader::IsClosed(bool wholeArchive) const {
  if (wholeArchive) return store.currentDisk == -1;
  return store.file == nullptr || store.file->IsClosed();
}

bool CZipReader::GetEntryInfo(CZipEntryHeader& header, int index) const {
  if (IsClosed(true)) return false;
  if (!directory.IsValidIndex(index)) return false;
  header = *directory.Get(index);
  return true;
}

void CZipReader::SetProgressSink(CZipProgress* sink, uint32_t kinds) {
  for (uint32_t bit = 1; bit <= 1024; bit <<= 1) {
    if (!(kinds & bit)) continue;
    if (sink)
      progressSinks[bit] = sink;
    else
      progressSinks.erase(bit);
  }
}

CZipProgress* CZipReader::SinkFor(uint32_t kind) const {
  auto it = progressSinks.find(kind);
  return it == progressSinks.end() ? nullptr : it->second;
}

void CZipReader::ThrowError(int code, bool fromZlib) const {
  std::string path;
  if (!IsClosed(true) && store.file) path = store.file->GetFilePath();
  ThrowZipError(fromZlib ? CZipException::ZlibResultToCode(code) : code, path.c_str());
}

void CZipReader::CheckZlib(int result) const {
  if (result == Z_OK || result == Z_NEED_DICT) return;
  ThrowError(result, true);
}

void CZipReader::CloseArchive(int afterException, bool updateTime) {
  if (IsClosed(true) && !(afterException != 0 && !IsClosed(false))) return;
  if (entryState == EntryReading) CloseEntry(nullptr, afterException != 0);
  // Nothing is ever written: the directory of an archive that was only read
  // is still on disk, and entries are never added.
  time_t newest = 0;
  if (updateTime) {
    for (int i = 0; i < directory.GetCount(); ++i)
      newest = std::max(newest, directory.Get(i)->GetModTime());
  }
  directory.Release(true);
  outputTree.Reset();
  std::string path = store.Close(afterException == 1);
  if (updateTime && !path.empty()) ZipFs::SetFileModTime(path, newest);
}
