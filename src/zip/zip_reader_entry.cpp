// Reading one entry: opening it at its local header, inflating, decoding
// (LZMA, XZ) or copying its data with decryption and the CRC-32 check, and
// closing it at its end (data descriptor included); the traditional
// decryption's key handling.
#include <algorithm>
#include <cstring>

#include "zip/zip_exception.h"
#include "zip/zip_file.h"
#include "zip/zip_fs.h"
#include "zip/zip_reader.h"

bool CZipReader::OpenEntry(int index) { return OpenEntryFor(index, true); }

bool CZipReader::OpenEntryFor(int index, bool decode) {
  if (IsClosed(true) || !directory.IsValidIndex(index)) return false;
  if (store.SpanState() == 1) return false;
  if (entryState != EntryNone) return false;

  // An entry this reader cannot decode is refused before anything is read,
  // with the reason, so that the user learns what the archive needs.
  const CZipEntryHeader* record = directory.Get(index);
  const std::string unsupported = record->UnsupportedReason();
  if (!unsupported.empty()) ThrowZipError(ErrDamagedArchive, store.file->GetFilePath(), unsupported);
  CZipReadState& rs = readState;
  if (decode) rs.readBuffer.Allocate(rs.readBufferSize, false);
  try {
    directory.OpenLocal(index);
    const CZipEntryHeader* entry = directory.current;
    // The encryption header is part of the compressed size, and stored data
    // is exactly as long as the entry: any other sizes are damage (and would
    // leave bytes that the read loop never consumes).
    const uint32_t headerBytes = entry->IsEncrypted() ? 12 : 0;
    if (entry->compressedSize < headerBytes) ThrowError(ErrDamagedArchive);
    if (entry->method == 0 && entry->compressedSize - headerBytes != entry->uncompressedSize)
      ThrowError(ErrDamagedArchive);
    if (entry->IsEncrypted()) {
      if (password.size == 0) ThrowError(ErrWrongPassword);
      InitKeys();
      if (!CheckEncryptionHeader()) ThrowError(ErrWrongPassword);
    }
    if (decode && entry->method == 8) {
      rs.stream.opaque = &zlibBlocks;
      rs.stream.next_in = Z_NULL;
      rs.stream.avail_in = 0;
      CheckZlib(inflateInit2_(&rs.stream, -15, "1.1.3", static_cast<int>(sizeof(z_stream))));
    } else if (decode && CZipLzmaDecoder::Handles(entry->method)) {
      lzma.Begin(entry->method, entry->uncompressedSize, entry->compressedSize - headerBytes);
    }
    rs.remainingIn = entry->compressedSize - headerBytes;
    rs.remainingOut = entry->uncompressedSize;
    rs.runningCrc = 0;
    rs.stream.total_out = 0;
    rs.stream.avail_in = 0;
    rs.stream.next_in = Z_NULL;
  } catch (...) {
    // A refused entry leaves nothing open.
    EndReading();
    throw;
  }
  entryState = EntryReading;
  return true;
}

uint32_t CZipReader::ReadEntry(void* buffer, uint32_t size) {
  if (entryState != EntryReading || buffer == nullptr || size == 0) return 0;
  CZipReadState& rs = readState;
  z_stream& s = rs.stream;
  const CZipEntryHeader* entry = directory.current;
  const bool deflated = entry->method == 8;
  const bool coded = CZipLzmaDecoder::Handles(entry->method);

  s.next_out = static_cast<Bytef*>(buffer);
  s.avail_out = static_cast<uint32_t>(std::min<uint64_t>(rs.remainingOut, size));
  const bool drain = s.avail_out == 0 && rs.remainingIn > 0;
  uint32_t result = 0;

  // An LZMA or XZ stream is read to its end as soon as the entry's last byte
  // is out, so that what follows the data (an XZ stream's index and check)
  // is checked whoever reads the entry.
  while (s.avail_out > 0 || (drain && rs.remainingIn > 0) || (coded && rs.remainingOut == 0 && !lzma.Finished())) {
    if (s.avail_in == 0 && rs.remainingIn > 0) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(rs.readBufferSize, rs.remainingIn));
      store.Read(rs.readBuffer.data, n, false);
      DecryptBuffer(n);
      s.next_in = reinterpret_cast<Bytef*>(rs.readBuffer.data);
      rs.remainingIn -= n;
      s.avail_in = n;
    }
    if (deflated) {
      Bytef* before = s.next_out;
      int r = inflate(&s, Z_SYNC_FLUSH);
      uint32_t k = static_cast<uint32_t>(s.next_out - before);
      rs.runningCrc = crc32(rs.runningCrc, before, k);
      rs.remainingOut -= k;
      result += k;
      if (r == Z_STREAM_END) break;
      CheckZlib(r);
    } else if (coded) {
      Bytef* before = s.next_out;
      const int r = lzma.Decode(s.next_in, s.avail_in, s.next_out, s.avail_out, rs.remainingIn == 0);
      const uint32_t k = static_cast<uint32_t>(s.next_out - before);
      rs.runningCrc = crc32(rs.runningCrc, before, k);
      rs.remainingOut -= k;
      result += k;
      if (r == CZipLzmaDecoder::Ended) break;
      if (r != CZipLzmaDecoder::More) store.ThrowError(r, lzma.Reason());
    } else {
      // Stored sizes agree (checked when the entry was opened), so input
      // runs out only together with the room for output; stop all the same
      // rather than spin.
      if (s.avail_in == 0) break;
      uint32_t k = std::min(s.avail_out, s.avail_in);
      std::memcpy(s.next_out, s.next_in, k);
      rs.runningCrc = crc32(rs.runningCrc, s.next_out, k);
      rs.remainingOut -= k;
      s.next_out += k;
      s.next_in += k;
      s.avail_out -= k;
      s.avail_in -= k;
      s.total_out += k;
      result += k;
    }
  }
  return result;
}

int32_t CZipReader::CloseEntry(const char* path, bool afterException) {
  return CloseEntryWith(path, nullptr, afterException);
}

int32_t CZipReader::CloseEntryWith(const char* path, CZipFile* output, bool afterException) {
  if (entryState != EntryReading) return 0;
  CZipReadState& rs = readState;
  const CZipEntryHeader* entry = directory.current;
  int32_t result = 1;
  if (!afterException) {
    if (rs.remainingOut != 0) {
      result = -1;
    } else if (rs.runningCrc != entry->crc32) {
      ThrowError(ErrCrcMismatch);
    }
    if (entry->method == 8) inflateEnd(&rs.stream);
    if (output) {
      if (!CZipOutputTree::FinishFile(*output, entry->GetModTime(), entry->GetLocalAttributes()))
        result = -2;
    } else if (path) {
      if (!ZipFs::SetFileModTime(path, entry->GetModTime()))
        result = -2;
      else if (!ZipFs::SetAttributes(path, entry->GetLocalAttributes()))
        result = -2;
    }
  }
  try {
    if (!afterException && result != -1) {
      // All bytes were delivered but the end of the compressed data may not
      // be read yet: step over it, so that a data descriptor is read where
      // it lies.
      while (rs.remainingIn > 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(rs.readBufferSize, rs.remainingIn));
        store.Read(rs.readBuffer.data, n, false);
        rs.remainingIn -= n;
      }
    }
    // An entry closed early has no known descriptor position; its missing
    // bytes are reported by the result instead.
    directory.CloseLocal(afterException || result == -1);
  } catch (...) {
    // A damaged end of the entry is reported, and the entry is closed all
    // the same: nothing may later close it a second time.
    EndReading();
    throw;
  }
  EndReading();
  return result;
}

void CZipReader::EndReading() {
  directory.Release(false);
  entryState = EntryNone;
  readState.readBuffer.Release();
  ReleaseZlibBlocks();
  lzma.End();
}

int32_t CZipReader::CloseEntryFile(CZipFile& file) { return CloseEntryWith(nullptr, &file, false); }

// --- traditional decryption -----------------------------------------------

bool CZipReader::SetArchivePassword(const char* text) {
  if (entryState != EntryNone) return false;
  const uint32_t length = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
  if (text == nullptr) {
    password.Release();
    return true;
  }
  password.Allocate(length, false);
  if (length == 0) return true;
  std::memcpy(password.data, text, length);
  for (uint32_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      password.Release();
      return false;
    }
  }
  return true;
}

void CZipReader::InitKeys() {
  keys.InitKeys(reinterpret_cast<const unsigned char*>(password.data), password.size);
}

bool CZipReader::CheckEncryptionHeader() {
  unsigned char header[12];
  store.Read(header, 12, false);
  keys.DecryptBuffer(header, 12);
  const CZipEntryHeader* entry = directory.current;
  unsigned char check = (entry->flags & 8) ? static_cast<unsigned char>(entry->modTime >> 8)
                                            : static_cast<unsigned char>(entry->crc32 >> 24);
  return header[11] == check;
}

void CZipReader::DecryptBuffer(uint32_t count) {
  if (directory.current && directory.current->IsEncrypted())
    keys.DecryptBuffer(reinterpret_cast<unsigned char*>(readState.readBuffer.data), count);
}
