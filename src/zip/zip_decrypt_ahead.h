// Decryption ahead of the reader, across entries, on other cores. While it
// runs it stands in for the archive's file: the reader's own thread reads the
// archive's data ahead in chunks into a small ring and notes, for every
// encrypted entry whose local header it finds there, the range of that
// entry's encrypted bytes (the encryption header and the data); worker
// threads decrypt those ranges in place, chunk by chunk, each range from a
// fresh key state (with two workers, each takes every other range). The
// reader then reads headers as they are and encrypted data already
// decrypted, and it asks for each entry whether its bytes are the ones it
// expects (Matches); anything else stops the stage, and the reader goes on
// reading and decrypting itself.
//
// The ring and the table of ranges bound the memory whatever the entries'
// sizes and count. Reads outside the ring (the central directory) go to the
// file underneath. A read that reaches where reading ahead failed is made
// again on the file, whole, so that it ends as the reader's own read would:
// the same error at the same entry and step as on one thread. The store, the
// directory and everything but the ring and the key states stay with the
// reader's thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "zip/zip_buffer.h"
#include "zip/zip_crypt.h"
#include "zip/zip_file.h"
#include "zip/zip_worker_thread.h"

class CException;
class CZipDirectory;
class CZipStore;

class CZipDecryptAhead : public CZipFileBase {
 public:
  // Which path entries take; tests force one of the two.
  enum class Use { Auto, OneThread, TwoThreads };
  static Use use;
  // Below this much archive data ahead a second thread costs more than it
  // saves.
  static constexpr uint32_t MinimumBytes = 256 * 1024;
  static constexpr uint32_t ChunkSize = 65536;
  static constexpr uint32_t RingChunks = 8;
  // Workers at most: range k goes to worker k % workers, so that two entries
  // in the ring are decrypted at the same time.
  static constexpr uint32_t MaxWorkers = 2;
  // Encrypted ranges noted and not yet decrypted, at most.
  static constexpr uint32_t MaxRanges = 512;
  // Entries noted beyond the one the reader opened, at most, unless the
  // reader waits for them (their central records are read through the
  // directory's window, which should hold both).
  static constexpr int MaxLead = 256;

  CZipDecryptAhead() = default;
  ~CZipDecryptAhead() override { Reset(); }
  CZipDecryptAhead(const CZipDecryptAhead&) = delete;
  CZipDecryptAhead& operator=(const CZipDecryptAhead&) = delete;

  // Starts at entry `index` of `directory` (entries in data order), with
  // `password`, when that is worth a second thread: from then on the store
  // reads through this object. False: the reader reads and decrypts itself.
  bool Start(CZipStore& store, const CZipDirectory& directory, int index,
             const CZipBuffer& password);
  bool Running() const { return underlying != nullptr; }
  // False: this reader never reads ahead (its caller runs threads of its own).
  bool allowed = true;
  // Whether entry `index`, whose data (with the encryption header) lies at
  // `start` in the file and is `length` bytes long, arrives as the reader
  // needs it: decrypted when `encrypted`, untouched otherwise.
  bool Matches(int index, uint64_t start, uint64_t length, bool encrypted);
  // Stops and joins the workers and gives the store its file back, at the
  // position handed out; a pending error is dropped.
  void Reset();
  // The last entry whose data the workers have decrypted to its end; -1
  // when none (for tests).
  int LastDecryptedEntry() const;

  // The file, as the reader sees it.
  bool Open(const std::string& path, unsigned openFlags, bool throwOnError) override;
  void Close() override;
  void Flush() override;
  uint64_t GetPosition() const override { return position; }
  uint64_t Seek(int64_t offset, int origin) override;
  uint64_t GetLength() const override;
  void SetLength(uint64_t length) override;
  std::string GetFilePath() const override;
  uint32_t Read(void* buffer, uint32_t count) override;
  void Write(const void* buffer, uint32_t count) override;
  bool IsClosed() const override;

 private:
  struct Range {
    uint64_t start;
    uint64_t end;
    int index;
  };

  // One worker: its thread, key state (made on the reader's thread), the
  // chunks it has passed and the ranges it has passed (decrypted its own,
  // stepped over the others').
  struct Worker {
    CZipDecryptAhead* stage = nullptr;
    uint32_t number = 0;
    CZipCryptKeys keys;
    std::atomic<uint32_t> passedChunks{0};
    std::atomic<uint32_t> passedRanges{0};
    CZipWorkerThread thread;
  };

  static void Decrypt(void* worker);
  // Ranges that every worker has passed.
  uint32_t FinishedRanges() const;
  // Stops and joins the workers.
  void StopWorkers();
  // Waits until every worker has passed `chunks` chunks.
  void WaitForChunks(uint32_t chunks);
  char* Slot(uint32_t chunk) { return ring.data + (chunk % RingChunks) * ChunkSize; }
  // Reads the next chunk ahead, when the ring has room, and hands it to the
  // workers with the ranges that begin in it; `needed`: the reader waits for
  // it (else it is only read while few entries lie ahead). False when
  // nothing more can be read now.
  bool ReadChunk(bool needed);
  // Notes the ranges of the entries whose local headers begin before `end`;
  // returns where the bytes that all noted ranges describe end (at most
  // `end`): the table of ranges may be full, or an entry unreadable.
  uint64_t NoteRanges(uint64_t end);
  // The chunk kept, of the first `chunks`, that holds the file's byte at
  // `at`, or -1.
  int64_t ChunkAt(uint64_t at, uint32_t chunks) const;
  // Copies `count` bytes read ahead, from `at` in the file; false when the
  // ring does not hold them.
  bool RingBytes(uint64_t at, unsigned char* out, uint32_t count);
  // Reads from the file underneath at the position handed out.
  uint32_t ReadThrough(void* buffer, uint32_t count);
  // Throws the failure met while reading ahead.
  [[noreturn]] void ThrowPendingError();

  static constexpr uint32_t StopBit = 0x80000000u;

  Worker workers[MaxWorkers];
  uint32_t workerCount = 0;
  // The processors this process may use, counted at the first Start after
  // a Reset; 0 before.
  uint32_t processors = 0;
  CZipBuffer ring;
  CZipBuffer password;
  Range ranges[MaxRanges] = {};
  // Where each chunk in the ring begins in the file, and its length.
  uint64_t starts[RingChunks] = {};
  uint32_t lengths[RingChunks] = {};
  CZipStore* store = nullptr;
  const CZipDirectory* directory = nullptr;
  // The store's own file while the stage runs; null when it does not.
  CZipFileBase* underlying = nullptr;
  // Where the archive's data ends (its central directory begins).
  uint64_t dataEnd = 0;
  // Chunks read into the ring (StopBit: the workers are to end), and
  // ranges noted.
  std::atomic<uint32_t> readChunks{0};
  std::atomic<uint32_t> notedRanges{0};
  // The reader's thread only: the position handed out; where the chunks
  // read end; the first chunk kept for the reader; the entry the reader
  // opened last, the next entry to note and the first range not yet
  // matched; no more reading ahead (the data's end, a short read or a
  // failure), and the failure held.
  uint64_t position = 0;
  uint64_t frontier = 0;
  uint32_t firstKept = 0;
  int openedEntry = 0;
  int nextEntry = 0;
  uint32_t matchedRanges = 0;
  bool ended = false;
  CException* pendingError = nullptr;
};
