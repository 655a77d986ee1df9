// Decryption of a large encrypted entry on a second core. The reader's own
// thread reads the entry's data ahead, chunk by chunk, into a small ring of
// buffers; a worker thread decrypts them in file order; the reader takes the
// decrypted chunks in that order while it inflates, checks and writes the
// previous ones. The chunks are the ones the reader would read itself, and
// an error met while reading ahead is thrown only where the reader would
// have met it, so that results, errors and progress are those of one thread.
// The store and everything else but the ring and the keys stay with the
// reader's thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "zip/zip_buffer.h"
#include "zip/zip_crypt.h"
#include "zip/zip_worker_thread.h"

class CException;
class CZipStore;

class CZipDecryptAhead {
 public:
  // Which path entries take; tests force one of the two.
  enum class Use { Auto, OneThread, TwoThreads };
  static Use use;
  // Below this much encrypted data a second thread costs more than it saves.
  static constexpr uint32_t MinimumBytes = 256 * 1024;
  static constexpr uint32_t RingSlots = 4;

  CZipDecryptAhead() = default;
  ~CZipDecryptAhead() { Reset(); }
  CZipDecryptAhead(const CZipDecryptAhead&) = delete;
  CZipDecryptAhead& operator=(const CZipDecryptAhead&) = delete;

  // Starts on the next `bytes` bytes of `store` (chunks of `chunkSize`),
  // decrypted with `keys` (left alone by the caller until Stop), when that is
  // worth a second thread; false: the caller reads and decrypts itself.
  bool Start(CZipStore& store, CZipCryptKeys& keys, uint64_t bytes, uint32_t chunkSize);
  bool Running() const { return worker.Running(); }
  // The next decrypted chunk and its length; throws what reading it threw.
  char* Next(uint32_t& length);
  // Stops and joins the worker. Returns how many bytes were read from the
  // store beyond those handed out; an error met while reading ahead is kept
  // for ThrowPendingError.
  uint64_t Stop() {
    if (worker.Running()) {
      readChunks.fetch_or(StopBit, std::memory_order_release);
      CZipWorkerThread::WakeAll(readChunks);
      worker.Join();
    }
    return bytesRead - bytesTaken;
  }
  // Throws the error met while reading ahead, if any (after Stop).
  void ThrowPendingError();
  // Stops, drops a pending error and releases the ring.
  void Reset();

 private:
  static void Decrypt(void* self);
  char* Slot(uint32_t chunk) { return ring.data + (chunk % RingSlots) * chunkSize; }

  static constexpr uint32_t StopBit = 0x80000000u;

  CZipWorkerThread worker;
  CZipBuffer ring;
  uint32_t lengths[RingSlots] = {};
  CZipStore* store = nullptr;
  CZipCryptKeys* keys = nullptr;
  uint32_t chunkSize = 0;
  uint64_t totalBytes = 0;
  // Chunks read into the ring (StopBit: the worker is to end), and chunks
  // decrypted; the worker decrypts while decrypted < read.
  std::atomic<uint32_t> readChunks{0};
  std::atomic<uint32_t> decryptedChunks{0};
  // The reader's thread only: chunks handed out, bytes read and handed out,
  // the chunk whose read failed and its error.
  uint32_t takenChunks = 0;
  uint64_t bytesRead = 0;
  uint64_t bytesTaken = 0;
  uint32_t failedChunk = 0;
  CException* pendingError = nullptr;
};
