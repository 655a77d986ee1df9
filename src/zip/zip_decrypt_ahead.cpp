#include "zip/zip_decrypt_ahead.h"

#include "framework/file_exception.h"
#include "zip/zip_exception.h"
#include "zip/zip_store.h"

CZipDecryptAhead::Use CZipDecryptAhead::use = CZipDecryptAhead::Use::Auto;

CZipDecryptAhead::~CZipDecryptAhead() { Reset(); }

uint32_t CZipDecryptAhead::LengthOf(uint32_t chunk) const {
  return chunk + 1 < chunkCount ? chunkSize : totalBytes - chunk * chunkSize;
}

bool CZipDecryptAhead::Start(CZipStore& source, CZipCryptKeys& entryKeys, uint32_t bytes,
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
  chunkCount = bytes / size + (bytes % size != 0);
  readChunks.store(0, std::memory_order_relaxed);
  decryptedChunks.store(0, std::memory_order_relaxed);
  takenChunks = 0;
  bytesRead = 0;
  bytesTaken = 0;
  failedChunk = chunkCount;
  if (!worker.Start(&CZipDecryptAhead::Decrypt, this)) {
    ring.Release();
    return false;
  }
  ReadAhead();
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
                              self->LengthOf(done));
    self->decryptedChunks.store(++done, std::memory_order_release);
    CZipWorkerThread::WakeAll(self->decryptedChunks);
  }
}

void CZipDecryptAhead::ReadAhead() {
  // The slot of the chunk handed out last is free again: the reader asks
  // for the next one only when it is done with it.
  uint32_t read = readChunks.load(std::memory_order_relaxed);
  const uint32_t before = read;
  while (read < failedChunk && read < takenChunks + RingSlots) {
    const uint32_t length = LengthOf(read);
    try {
      store->Read(Slot(read), length, false);
    } catch (CZipException* e) {
      pendingError = e;
    } catch (CFileException* e) {
      pendingError = e;
      pendingFileError = true;
    }
    if (pendingError) {
      failedChunk = read;
      break;
    }
    bytesRead += length;
    readChunks.store(++read, std::memory_order_release);
  }
  if (read != before) CZipWorkerThread::WakeAll(readChunks);
}

char* CZipDecryptAhead::Next(uint32_t& length) {
  ReadAhead();
  const uint32_t chunk = takenChunks;
  if (chunk >= failedChunk) {
    // Where the reader would have read this chunk itself, it fails.
    ThrowPendingError();
    store->ThrowError(ErrDamagedArchive);
  }
  uint32_t decrypted;
  while ((decrypted = decryptedChunks.load(std::memory_order_acquire)) <= chunk)
    CZipWorkerThread::WaitWhile(decryptedChunks, decrypted);
  length = LengthOf(chunk);
  takenChunks = chunk + 1;
  bytesTaken += length;
  return Slot(chunk);
}

uint32_t CZipDecryptAhead::Stop() {
  if (worker.Running()) {
    readChunks.fetch_or(StopBit, std::memory_order_release);
    CZipWorkerThread::WakeAll(readChunks);
    worker.Join();
  }
  return bytesRead - bytesTaken;
}

void CZipDecryptAhead::ThrowPendingError() {
  if (!pendingError) return;
  CException* error = pendingError;
  pendingError = nullptr;
  if (pendingFileError) throw static_cast<CFileException*>(error);
  throw static_cast<CZipException*>(error);
}

void CZipDecryptAhead::Reset() {
  Stop();
  // Nobody reached the failed read: the error is dropped.
  if (pendingError) pendingError->Delete();
  pendingError = nullptr;
  pendingFileError = false;
  ring.Release();
  bytesRead = 0;
  bytesTaken = 0;
}
