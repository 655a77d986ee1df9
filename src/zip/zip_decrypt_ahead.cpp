#include "zip/zip_decrypt_ahead.h"

#include <algorithm>
#include <cstring>

#include "framework/file_exception.h"
#include "zip/zip_directory.h"
#include "zip/zip_exception.h"
#include "zip/zip_fields.h"
#include "zip/zip_store.h"

CZipDecryptAhead::Use CZipDecryptAhead::use = CZipDecryptAhead::Use::Auto;

bool CZipDecryptAhead::Start(CZipStore& source, const CZipDirectory& entries, int index,
                             const CZipBuffer& entryPassword) {
  if (!allowed || Running() || use == Use::OneThread || entryPassword.size == 0 || !source.file) return false;
  // A multi-volume archive may ask for the next disk: only when the reader
  // itself gets there.
  if (source.spanMode != CZipStore::NoSpan) return false;
  const uint64_t begin = entries.bytesBeforeArchive + entries.LocalOffset(index);
  const uint64_t end = entries.bytesBeforeArchive + entries.directoryOffset;
  if (begin >= end) return false;
  // The processors are counted once for the archive: a one-processor run
  // asks at most once.
  if (processors == 0) processors = std::max(1u, CZipWorkerThread::ProcessorCount());
  if (use == Use::Auto && (end - begin < MinimumBytes || processors < 2)) return false;
  ring.Allocate(RingChunks * ChunkSize, false);
  password = entryPassword;
  store = &source;
  directory = &entries;
  dataEnd = end;
  frontier = begin;
  position = source.file->GetPosition();
  firstKept = 0;
  openedEntry = index;
  nextEntry = index;
  matchedRanges = 0;
  ended = false;
  readChunks.store(0, std::memory_order_relaxed);
  notedRanges.store(0, std::memory_order_relaxed);
  // Each worker takes its share of the ranges by their count, which is set
  // before any of them starts.
  workerCount = std::min(MaxWorkers, processors);
  for (uint32_t i = 0; i < workerCount; ++i) {
    Worker& w = workers[i];
    w.stage = this;
    w.number = i;
    w.passedChunks.store(0, std::memory_order_relaxed);
    w.passedRanges.store(0, std::memory_order_relaxed);
  }
  for (uint32_t i = 0; i < workerCount; ++i) {
    if (!workers[i].thread.Start(&CZipDecryptAhead::Decrypt, &workers[i])) {
      StopWorkers();
      ring.Release();
      password.Release();
      return false;
    }
  }
  underlying = source.file;
  source.file = this;
  return true;
}

void CZipDecryptAhead::StopWorkers() {
  readChunks.fetch_or(StopBit, std::memory_order_release);
  CZipWorkerThread::WakeAll(readChunks);
  // Join does nothing for a worker that was never started.
  for (uint32_t i = 0; i < workerCount; ++i) workers[i].thread.Join();
  workerCount = 0;
}

void CZipDecryptAhead::Reset() {
  StopWorkers();
  if (underlying) {
    store->file = underlying;
    try {
      underlying->Seek(static_cast<int64_t>(position), 0);
    } catch (CException* e) {
      // The reader's next read meets the file's trouble itself.
      e->Delete();
    }
    underlying = nullptr;
  }
  if (pendingError) pendingError->Delete();
  pendingError = nullptr;
  ring.Release();
  password.Release();
  processors = 0;
}

int CZipDecryptAhead::LastDecryptedEntry() const {
  const uint32_t finished = Running() ? FinishedRanges() : 0;
  return finished ? ranges[(finished - 1) % MaxRanges].index : -1;
}

uint32_t CZipDecryptAhead::FinishedRanges() const {
  uint32_t finished = UINT32_MAX;
  for (uint32_t i = 0; i < workerCount; ++i)
    finished = std::min(finished, workers[i].passedRanges.load(std::memory_order_acquire));
  return finished;
}

void CZipDecryptAhead::WaitForChunks(uint32_t chunks) {
  for (uint32_t i = 0; i < workerCount; ++i) {
    std::atomic<uint32_t>& passed = workers[i].passedChunks;
    uint32_t now;
    while ((now = passed.load(std::memory_order_acquire)) < chunks) CZipWorkerThread::WaitWhile(passed, now);
  }
}

void CZipDecryptAhead::Decrypt(void* p) {
  Worker& self = *static_cast<Worker*>(p);
  CZipDecryptAhead& stage = *self.stage;
  const auto* key = reinterpret_cast<const unsigned char*>(stage.password.data);
  const uint32_t count = stage.workerCount;
  uint32_t done = 0;
  uint32_t range = 0;
  for (;;) {
    const uint32_t read = stage.readChunks.load(std::memory_order_acquire);
    if (read & StopBit) return;
    if (done == read) {
      CZipWorkerThread::WaitWhile(stage.readChunks, read);
      continue;
    }
    const uint32_t slot = done % RingChunks;
    const uint64_t chunkStart = stage.starts[slot];
    const uint64_t chunkEnd = chunkStart + stage.lengths[slot];
    auto* bytes = reinterpret_cast<unsigned char*>(stage.Slot(done));
    const uint32_t noted = stage.notedRanges.load(std::memory_order_acquire);
    // Ranges are taken in file order; one that goes on past this chunk
    // keeps its key state for the next. The workers write disjoint bytes.
    while (range < noted) {
      const Range& r = stage.ranges[range % MaxRanges];
      if (r.start >= chunkEnd) break;
      if (range % count == self.number) {
        const uint64_t from = std::max(r.start, chunkStart);
        const uint64_t to = std::min(r.end, chunkEnd);
        if (from == r.start) self.keys.InitKeys(key, stage.password.size);
        if (to > from) self.keys.DecryptBuffer(bytes + (from - chunkStart), static_cast<size_t>(to - from));
      }
      if (r.end > chunkEnd) break;
      self.passedRanges.store(++range, std::memory_order_release);
    }
    self.passedChunks.store(++done, std::memory_order_release);
    CZipWorkerThread::WakeAll(self.passedChunks);
  }
}

int64_t CZipDecryptAhead::ChunkAt(uint64_t at, uint32_t chunks) const {
  for (uint32_t chunk = firstKept; chunk < chunks; ++chunk) {
    const uint32_t slot = chunk % RingChunks;
    if (at >= starts[slot] && at - starts[slot] < lengths[slot]) return chunk;
  }
  return -1;
}

bool CZipDecryptAhead::RingBytes(uint64_t at, unsigned char* out, uint32_t count) {
  // The chunk being read counts too: its ranges are being noted.
  const uint32_t chunks = readChunks.load(std::memory_order_relaxed) + 1;
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t chunk = ChunkAt(at + i, chunks);
    if (chunk < 0) return false;
    out[i] = static_cast<unsigned char>(Slot(static_cast<uint32_t>(chunk))[at + i - starts[chunk % RingChunks]]);
  }
  return true;
}

uint64_t CZipDecryptAhead::NoteRanges(uint64_t end) {
  while (nextEntry < directory->GetCount()) {
    const uint64_t header = directory->bytesBeforeArchive + directory->LocalOffset(nextEntry);
    if (header >= end || end - header < CZipEntryHeader::LocalFixedSize) return end;
    const uint32_t noted = notedRanges.load(std::memory_order_relaxed);
    if (noted - FinishedRanges() == MaxRanges) return header;
    // The entry's record comes from the central directory, read through the
    // file underneath.
    const CZipEntryHeader* entry = nullptr;
    store->file = underlying;
    try {
      entry = directory->Get(nextEntry);
    } catch (CException* e) {
      e->Delete();
    }
    store->file = this;
    // An entry that cannot be noted ends the reading ahead: from there on
    // the reader reads and decrypts itself.
    if (!entry) {
      ended = true;
      return header;
    }
    if (entry->IsEncrypted()) {
      // The range must end before the next entry begins; a damaged entry
      // is left to the reader, which refuses it on its own.
      // The local header's name and extra field lengths.
      unsigned char lengths[4] = {};
      const bool known = RingBytes(header + 26, lengths, 4);
      const uint64_t start =
          header + CZipEntryHeader::LocalFixedSize + ZipField::Get16(lengths) + ZipField::Get16(lengths + 2);
      const uint64_t limit = directory->bytesBeforeArchive + directory->DataLimit(static_cast<size_t>(nextEntry));
      if (!known || start > limit || entry->compressedSize > limit - start) {
        ended = true;
        return header;
      }
      ranges[noted % MaxRanges] = Range{start, start + entry->compressedSize, nextEntry};
      notedRanges.store(noted + 1, std::memory_order_release);
    }
    ++nextEntry;
  }
  return end;
}

bool CZipDecryptAhead::ReadChunk(bool needed) {
  if (ended || frontier >= dataEnd) return false;
  const uint32_t read = readChunks.load(std::memory_order_relaxed);
  if (read - firstKept == RingChunks) return false;
  if (!needed && (nextEntry - openedEntry >= MaxLead ||
                  notedRanges.load(std::memory_order_relaxed) - FinishedRanges() ==
                      MaxRanges))
    return false;
  // The slot's last chunk may lie behind the reader unread (it seeked past
  // it): the workers must be done with it.
  if (read >= RingChunks) WaitForChunks(read - RingChunks + 1);
  const uint32_t slot = read % RingChunks;
  const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(ChunkSize, dataEnd - frontier));
  uint32_t length = 0;
  CException* failure = nullptr;
  try {
    underlying->Seek(static_cast<int64_t>(frontier), 0);
    while (length < wanted) {
      const uint32_t n = underlying->Read(Slot(read) + length, wanted - length);
      if (n == 0) break;
      length += n;
    }
  } catch (CException* e) {
    failure = e;
  }
  starts[slot] = frontier;
  lengths[slot] = length;
  // The chunk goes to the worker as far as the noted ranges describe it.
  // When the table of ranges is full, a reader that waits lets the worker
  // empty it first; the rest of the chunk is read again later.
  uint64_t described = NoteRanges(frontier + length);
  while (described == frontier && length > 0 && needed &&
         notedRanges.load(std::memory_order_relaxed) != FinishedRanges()) {
    WaitForChunks(read);
    described = NoteRanges(frontier + length);
  }
  if (described == frontier + length && length < wanted) {
    // The data ends early or its read failed: the reader meets that where
    // it reads this far itself.
    ended = true;
    pendingError = failure;
  } else if (failure) {
    failure->Delete();
  }
  if (described == frontier) return false;
  lengths[slot] = static_cast<uint32_t>(described - frontier);
  frontier = described;
  readChunks.store(read + 1, std::memory_order_release);
  CZipWorkerThread::WakeAll(readChunks);
  return true;
}

uint32_t CZipDecryptAhead::Read(void* buffer, uint32_t count) {
  char* to = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    // Everything the ring has room for is read ahead at each read.
    if (position == frontier && !ReadChunk(true)) break;
    const uint32_t read = readChunks.load(std::memory_order_relaxed);
    const int64_t chunk = ChunkAt(position, read);
    if (chunk < 0) break;
    // Chunks before the one being read are free again.
    firstKept = static_cast<uint32_t>(chunk);
    while (ReadChunk(false)) {
    }
    WaitForChunks(static_cast<uint32_t>(chunk) + 1);
    const uint32_t slot = static_cast<uint32_t>(chunk) % RingChunks;
    const uint32_t offset = static_cast<uint32_t>(position - starts[slot]);
    const uint32_t n = std::min(count - done, lengths[slot] - offset);
    std::memcpy(to + done, Slot(static_cast<uint32_t>(chunk)) + offset, n);
    position += n;
    done += n;
  }
  if (done < count && position == frontier && pendingError) {
    // The read reaches where reading ahead failed: it is made again on the
    // file, whole, so that it ends as the reader's own read would. Should
    // it succeed now, its bytes are not decrypted: the failure stands.
    position -= done;
    const uint32_t n = ReadThrough(buffer, count);
    if (n == count) ThrowPendingError();
    return n;
  }
  // Beyond what was read ahead (the data's end, the central directory).
  if (done < count) done += ReadThrough(to + done, count - done);
  return done;
}

uint32_t CZipDecryptAhead::ReadThrough(void* buffer, uint32_t count) {
  underlying->Seek(static_cast<int64_t>(position), 0);
  const uint32_t n = underlying->Read(buffer, count);
  position += n;
  return n;
}

void CZipDecryptAhead::ThrowPendingError() {
  CException* error = pendingError;
  pendingError = nullptr;
  if (error->IsKindOf(RUNTIME_CLASS(CFileException))) throw static_cast<CFileException*>(error);
  throw static_cast<CZipException*>(error);
}

bool CZipDecryptAhead::Matches(int index, uint64_t start, uint64_t length, bool encrypted) {
  openedEntry = index;
  const uint32_t noted = notedRanges.load(std::memory_order_relaxed);
  // Ranges of entries the reader passed are skipped; the table keeps the
  // last MaxRanges noted.
  if (noted - matchedRanges > MaxRanges) matchedRanges = noted - MaxRanges;
  while (matchedRanges < noted && ranges[matchedRanges % MaxRanges].index < index) ++matchedRanges;
  const bool found = matchedRanges < noted && ranges[matchedRanges % MaxRanges].index == index;
  if (!encrypted) return !found;
  // The chunks kept still hold what the reader read of them, decrypted; an
  // entry read before (and opened again) may lie behind them.
  const uint32_t read = readChunks.load(std::memory_order_relaxed);
  const uint64_t kept = firstKept < read ? starts[firstKept % RingChunks] : frontier;
  const Range& r = ranges[matchedRanges % MaxRanges];
  return found && r.start == start && r.end - r.start == length && start >= kept;
}

uint64_t CZipDecryptAhead::Seek(int64_t offset, int origin) {
  const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(position)
                                                     : static_cast<int64_t>(underlying->GetLength());
  // Positions stay far below 2^63; a seek before the start fails as the
  // file's own would.
  if (base + offset < 0) underlying->Seek(base + offset, 0);
  position = static_cast<uint64_t>(base + offset);
  return position;
}

bool CZipDecryptAhead::Open(const std::string& path, unsigned openFlags, bool throwOnError) {
  CZipFileBase* file = underlying;
  Reset();
  return file->Open(path, openFlags, throwOnError);
}

void CZipDecryptAhead::Close() {
  CZipFileBase* file = underlying;
  Reset();
  file->Close();
}

void CZipDecryptAhead::Flush() { underlying->Flush(); }
uint64_t CZipDecryptAhead::GetLength() const { return underlying->GetLength(); }
std::string CZipDecryptAhead::GetFilePath() const { return underlying->GetFilePath(); }
bool CZipDecryptAhead::IsClosed() const { return underlying->IsClosed(); }

void CZipDecryptAhead::SetLength(uint64_t length) {
  CZipFileBase* file = underlying;
  Reset();
  file->SetLength(length);
}

void CZipDecryptAhead::Write(const void* buffer, uint32_t count) {
  CZipFileBase* file = underlying;
  Reset();
  file->Write(buffer, count);
}
