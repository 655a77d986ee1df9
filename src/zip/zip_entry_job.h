// One entry's data extracted on a worker thread: positional reads of the
// archive through the worker's own handle, decryption, inflate (or the copy
// of stored data), the CRC-32 and the writes to the entry's own file, which
// the reading thread created. It goes chunk for chunk as the reader's own
// ExtractEntry goes (the same buffer sizes, the same end rules), so that a
// damaged entry ends the same way on every path; the reading thread turns
// the noted failure into the same exception (CZipReader::FinishJob).
//
// Nothing here allocates, throws or calls the C library (zlib's memory comes
// from the decoder's arena, reserved on the reading thread): it runs on a
// bare worker thread.
#pragma once

#include <zlib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "framework/file.h"
#include "zip/zip_crypt.h"

class CException;

struct ZipEntryJob {
  enum Status : uint32_t {
    Done,        // every byte the data holds was written (maybe fewer than the size)
    Damaged,     // the archive ends inside the entry's data
    ZlibFailed,  // inflate failed (zlibResult)
    ReadFailed,  // reading the archive failed (osError)
    WriteFailed, // writing the file failed (osError)
    Stopped,     // a stop request ended the job
  };

  // Settled by the reading thread before the job is handed out.
  std::string name;    // the entry's name
  std::string target;  // the file's full path
  CFile::Handle output = CFile::InvalidHandle;
  uint64_t dataOffset = 0;   // of the data behind any encryption header, in the archive's file
  uint64_t storedBytes = 0;  // the data's bytes from there
  uint64_t size = 0;         // uncompressed
  uint32_t crc = 0;
  bool deflated = false;
  bool encrypted = false;
  CZipCryptKeys keys;  // after the encryption header
  time_t modTime = 0;
  uint32_t attributes = 0;
  // A damaged data descriptor, found when the job was settled: reported
  // only where the one-thread path reaches it (the data was good).
  CException* descriptorError = nullptr;

  // Results, written by the worker.
  std::atomic<uint64_t> written{0};
  std::atomic<bool> finished{false};  // set last
  Status status = Done;
  int zlibResult = 0;
  long osError = 0;
  uint32_t crcSeen = 0;
};

// A worker's decoding state: its buffers and inflate stream, reserved on the
// reading thread; Run does one job with them on any thread.
class CZipEntryDecoder {
 public:
  // The reader's read buffer and ExtractEntry's buffer in the launcher.
  static constexpr uint32_t InSize = 65536;
  static constexpr uint32_t OutSize = 65536;

  // False when the memory or the inflate stream cannot be had.
  bool Init();
  CZipEntryDecoder() = default;
  ~CZipEntryDecoder();
  CZipEntryDecoder(const CZipEntryDecoder&) = delete;
  CZipEntryDecoder& operator=(const CZipEntryDecoder&) = delete;

  // Extracts the job's data from `archive` into its output file; stops at
  // the next chunk once `stop` is set. `decrypted`: the job's whole data,
  // read and decrypted already (RunSideBySide).
  void Run(ZipEntryJob& job, CFile::Handle archive, const std::atomic<bool>& stop,
           const unsigned char* decrypted = nullptr);
  // Whether a job's data is one chunk that is decrypted: such jobs are
  // decrypted side by side.
  static bool SideBySide(const ZipEntryJob& job) { return job.encrypted && job.storedBytes <= InSize; }
  // Runs up to CZipCryptKeys::MaxLanes SideBySide jobs: reads each one's
  // data, decrypts them all at once, then runs each.
  void RunSideBySide(ZipEntryJob* const jobs[], unsigned count, CFile::Handle archive,
                     const std::atomic<bool>& stop);

 private:
  // As the reader's ReadEntry for `size` bytes into `out`: the bytes made,
  // false on a failure (noted in the job).
  bool Read(ZipEntryJob& job, CFile::Handle archive, unsigned char* out, uint32_t size, uint32_t& made);
  // Reads exactly `count` bytes at `offset`; false on a failure (noted).
  static bool ReadChunk(ZipEntryJob& job, CFile::Handle archive, unsigned char* to, uint32_t count,
                        uint64_t offset);
  static voidpf ArenaAlloc(voidpf opaque, uInt items, uInt size);
  static void ArenaFree(voidpf, voidpf) {}

  std::unique_ptr<unsigned char[]> in[CZipCryptKeys::MaxLanes];
  std::unique_ptr<unsigned char[]> out, arena;
  size_t arenaUsed = 0;
  bool inflating = false;
  z_stream stream{};
  uint64_t remainingIn = 0, remainingOut = 0, position = 0;
};
