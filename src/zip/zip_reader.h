#pragma once
// The archive object: opens a ZIP archive (also one appended to other data),
// hands out copies of its entry records and reads or extracts one entry at a
// time through raw inflate, liblzma (LZMA and XZ entries) or as stored bytes,
// decrypting traditionally encrypted entries and checking every entry's CRC-32.
//
// Damage and aborts are thrown as heap-allocated CZipException pointers (the
// catcher deletes them); file failures pass through as CFileException.

#include <zlib.h>

#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "zip/zip_buffer.h"
#include "zip/zip_crypt.h"
#include "zip/zip_directory.h"
#include "zip/zip_entry_header.h"
#include "zip/zip_lzma_decoder.h"
#include "zip/zip_output_tree.h"
#include "zip/zip_progress.h"
#include "zip/zip_store.h"

class CZipFile;
struct ZipEntryJob;

// Archive open modes (passed through to the storage layer).
enum : int { ModeOpen = 0, ModeOpenReadOnly = 1, ModeCreate = 2, ModeCreateVolumes = 3 };

// Read state of the entry that is open.
class CZipReadState {
 public:
  CZipReadState();
  virtual ~CZipReadState();

  z_stream stream;
  uint64_t remainingOut = 0;
  uint64_t remainingIn = 0;
  uint32_t runningCrc = 0;
  uint32_t readBufferSize = 65536;
  CZipBuffer readBuffer;
};

class CZipReader {
 public:
  enum : signed char { EntryNone = 0, EntryReading = -1, EntryWriting = 1 };

  CZipReader();
  CZipReader(const CZipReader&) = delete;
  CZipReader& operator=(const CZipReader&) = delete;
  virtual ~CZipReader();

  void OpenArchive(const std::string& path, int mode, int volumeSize);
  // Opens an archive held by `source` (kept open and owned by the caller),
  // such as a CZipMemFile; modes ModeOpen and ModeOpenReadOnly.
  void OpenArchive(CZipFileBase& source, int mode);
  bool IsClosed(bool wholeArchive = true) const;
  int GetCount() const { return directory.GetCount(); }
  bool GetEntryInfo(CZipEntryHeader& header, int index) const;
  void SetProgressSink(CZipProgress* sink, uint32_t kinds);

  bool OpenEntry(int index);
  uint32_t ReadEntry(void* buffer, uint32_t size);
  // 1: complete and correct; -1: bytes were left unread; -2: time or
  // attributes of `path` could not be set; 0: no entry was open.
  int32_t CloseEntry(const char* path, bool afterException);
  // CloseEntry for an entry written to `file`: its time and attributes go to
  // the open file, which is then closed.
  int32_t CloseEntryFile(CZipFile& file);

  bool SetArchivePassword(const char* password);

  // Builds the target path and writes entry `index` below `targetFolder`
  // (folder entries are created). Throws CZipException 105/106 when the
  // progress sink asks to stop, 117 when the entry's path would leave the
  // target folder.
  bool ExtractEntry(int index, const char* targetFolder, bool fullPath,
                    const char* newName, uint32_t bufferSize);
  static std::string BuildTargetPath(const std::string& entryName, const char* targetFolder,
                                     bool fullPath, const char* newName);

  // How the extraction of an entry starts: no such entry (or it could not be
  // opened), done already (a folder), open (its file created), or left to the
  // caller's ExtractEntry (a method that workers do not decode).
  enum class ExtractStart { Missing, Done, Open, Inline };
  // Entries extracted by workers (full paths below `targetFolder`): settles
  // entry `index` (its `record` from GetEntryInfo) as ExtractEntry does up to
  // its data and fills `job`; the reader is free for the next entry at once.
  // Throws what ExtractEntry throws up to the data.
  ExtractStart StartJob(int index, const CZipEntryHeader& record, const char* targetFolder, CZipFile& file,
                        ZipEntryJob& job);
  // After the job's data is done: ends the entry as ExtractEntry does (its
  // CRC, the file's time and attributes, the data descriptor) and closes the
  // file; ExtractEntry's result, or its exception.
  bool FinishJob(ZipEntryJob& job, CZipFile& file);

  void CloseArchive(int afterException = 0, bool updateTime = false);

  [[noreturn]] void ThrowError(int code, bool fromZlib = false) const;
  void CheckZlib(int result) const;

  // Key operations of the traditional decryption for the open entry.
  void InitKeys();
  void UpdateKeys(unsigned char b) { keys.UpdateKeys(b); }
  unsigned char KeyStreamByte() const { return keys.KeyStreamByte(); }
  unsigned char DecryptByte(unsigned char b) { return keys.DecryptByte(b); }
  bool CheckEncryptionHeader();
  void DecryptBuffer(uint32_t count);

  // Read-only views for callers and tests.
  const CZipDirectory& Directory() const { return directory; }
  const CZipCryptKeys& Keys() const { return keys; }
  signed char EntryState() const { return entryState; }
  uint32_t HostSystem() const { return hostSystem; }
  size_t ZlibBlockCount() const { return zlibBlocks.size(); }

 private:
  void InitAfterOpen(int mode);
  // OpenEntry; `decode`: with the read buffer and the decoder (false: a job's
  // entry, read elsewhere).
  bool OpenEntryFor(int index, bool decode);
  // ExtractEntry up to the data; `forJob`: opened without a decoder.
  ExtractStart StartExtract(int index, const CZipEntryHeader& record, const char* targetFolder, bool fullPath,
                            const char* newName, bool forJob, CZipFile& file, std::string& target);
  // CloseEntry, or CloseEntryFile when `output` is given.
  int32_t CloseEntryWith(const char* path, CZipFile* output, bool afterException);
  CZipProgress* SinkFor(uint32_t kind) const;
  void ReleaseZlibBlocks();
  void EndReading();
  static voidpf Alloc(voidpf opaque, uInt items, uInt size);
  static void Free(voidpf opaque, voidpf address);

  std::map<uint32_t, CZipProgress*> progressSinks;
  CZipReadState readState;
  CZipStore store;
  CZipDirectory directory;
  signed char entryState = EntryNone;
  uint32_t hostSystem = 0;
  std::list<void*> zlibBlocks;
  CZipBuffer password;
  CZipCryptKeys keys;
  // Decodes the open entry when it is an LZMA or XZ entry.
  CZipLzmaDecoder lzma;
  // The folders and files that ExtractEntry writes.
  CZipOutputTree outputTree;
};
