#include "zip/zip_decrypt_ahead.h"

#include <algorithm>
#include <cstdint>

#include "framework/file_exception.h"
#include "zip/zip_exception.h"
#include "zip/zip_store.h"

CZipDecryptAhead::Use CZipDecryptAhead::use = CZipDecryptAhead::Use::Auto;

bool CZipDecryptAhead::Start(CZipStore& source, CZipCryptKeys& entryKeys, uint64_t bytes,
                             uint32_t size) {
  if (worker.Running() || use == Use::OneThread || bytes == 0 || size == 0) return false;
  // A multi-volume archive may ask for the next disk: only when the reader
  // itself gets there.
  if (source.spanMode != CZipStore::NoSpan) return false;
  if (use == Use::Auto &&
      (bytes < MinimumBytes || CZipWorkerThread::ProcessorCount() < 2))
    return false;
  ring.Allocate(RingSlots * size, false);
  store = &source;
  keys = &entryKeys;
  chunkSize = size;
  totalBytes = bytes;
  readChunks.store(0, std::memory_order_relaxed);
  decryptedChunks.store(0, std::memory_order_relaxed);
  takenChunks = 0;
  bytesRead = 0;
  bytesTaken = 0;
  failedChunk = UINT32_MAX;
  if (!worker.Start(&CZipDecryptAhead::Decrypt, this)) {
    ring.Release();
    return false;
  }
  return true;
}

void CZipDecryptAhead::Decrypt(void* p) {
  CZipDecryptAhead* self = static_cast<CZipDecryptAhead*>(p);
  uint32_t done = 0;
  for (;;) {
    const uint32_t read = self->readChunks.load(std::memory_order_acquire);
    if (read & StopBit) return;
    if (done == read) {
      CZipWorkerThread::WaitWhile(self->readChunks, read);
      continue;
    }
    self->keys->DecryptBuffer(reinterpret_cast<unsigned char*>(self->Slot(done)),
                              self->lengths[done % RingSlots]);
    self->decryptedChunks.store(++done, std::memory_order_release);
    CZipWorkerThread::WakeAll(self->decryptedChunks);
  }
}

char* CZipDecryptAhead::Next(uint32_t& length) {
  // Reads ahead as far as the ring allows: the slot of the chunk handed out
  // last is free again, as the reader asks for the next chunk only when it
  // is done with it.
  uint32_t read = readChunks.load(std::memory_order_relaxed);
  const uint32_t before = read;
  while (bytesRead < totalBytes && read < failedChunk && read < takenChunks + RingSlots) {
    const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(chunkSize, totalBytes - bytesRead));
    try {
      store->Read(Slot(read), size, false);
    } catch (CException* e) {
      pendingError = e;
      failedChunk = read;
      break;
    }
    lengths[read % RingSlots] = size;
    bytesRead += size;
    readChunks.store(++read, std::memory_order_release);
  }
  if (read != before) CZipWorkerThread::WakeAll(readChunks);

  const uint32_t chunk = takenChunks;
  if (chunk >= failedChunk) {
    // Where the reader would have read this chunk itself, it fails.
    ThrowPendingError();
    store->ThrowError(ErrDamagedArchive);
  }
  uint32_t decrypted;
  while ((decrypted = decryptedChunks.load(std::memory_order_acquire)) <= chunk)
    CZipWorkerThread::WaitWhile(decryptedChunks, decrypted);
  length = lengths[chunk % RingSlots];
  takenChunks = chunk + 1;
  bytesTaken += length;
  return Slot(chunk);
}

void CZipDecryptAhead::ThrowPendingError() {
  if (!pendingError) return;
  CException* error = pendingError;
  pendingError = nullptr;
  if (error->IsKindOf(RUNTIME_CLASS(CFileException))) throw static_cast<CFileException*>(error);
  throw static_cast<CZipException*>(error);
}

void CZipDecryptAhead::Reset() {
  Stop();
  // Nobody reached the failed read: the error is dropped.
  if (pendingError) pendingError->Delete();
  pendingError = nullptr;
  ring.Release();
  bytesRead = 0;
  bytesTaken = 0;
}
