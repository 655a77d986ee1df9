#include "zip/zip_entry_job.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "zip/zip_worker_io.h"

namespace {

// inflate's state and its 32 KiB window, with room to spare.
constexpr size_t kArenaSize = 48 * 1024;

}  // namespace

voidpf CZipEntryDecoder::ArenaAlloc(voidpf opaque, uInt items, uInt size) {
  CZipEntryDecoder& self = *static_cast<CZipEntryDecoder*>(opaque);
  const size_t start = (self.arenaUsed + 15) & ~static_cast<size_t>(15);
  if (size && items > (kArenaSize - start) / size) return Z_NULL;
  self.arenaUsed = start + static_cast<size_t>(items) * size;
  return self.arena.get() + start;
}

bool CZipEntryDecoder::Init() {
  for (auto& buffer : in) {
    buffer.reset(new (std::nothrow) unsigned char[InSize]);
    if (!buffer) return false;
  }
  out.reset(new (std::nothrow) unsigned char[OutSize]);
  arena.reset(new (std::nothrow) unsigned char[kArenaSize]);
  if (!out || !arena) return false;
  stream.zalloc = &CZipEntryDecoder::ArenaAlloc;
  stream.zfree = &CZipEntryDecoder::ArenaFree;
  stream.opaque = this;
  inflating = inflateInit2_(&stream, -15, "1.1.3", static_cast<int>(sizeof(z_stream))) == Z_OK;
  return inflating;
}

CZipEntryDecoder::~CZipEntryDecoder() {
  if (inflating) inflateEnd(&stream);
}

bool CZipEntryDecoder::ReadChunk(ZipEntryJob& job, CFile::Handle archive, unsigned char* to, uint32_t count,
                                 uint64_t offset) {
  const int64_t got = ZipWorkerIo::ReadAt(archive, to, count, offset, job.osError);
  if (got < 0) {
    job.status = ZipEntryJob::ReadFailed;
    return false;
  }
  if (static_cast<uint32_t>(got) != count) {
    job.status = ZipEntryJob::Damaged;
    return false;
  }
  return true;
}

bool CZipEntryDecoder::Read(ZipEntryJob& job, CFile::Handle archive, unsigned char* to, uint32_t size,
                            uint32_t& made) {
  z_stream& s = stream;
  made = 0;
  s.next_out = to;
  s.avail_out = static_cast<uInt>(std::min<uint64_t>(remainingOut, size));
  const bool drain = s.avail_out == 0 && remainingIn > 0;
  while (s.avail_out > 0 || (drain && remainingIn > 0)) {
    if (s.avail_in == 0 && remainingIn > 0) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(InSize, remainingIn));
      if (!ReadChunk(job, archive, in[0].get(), n, position)) return false;
      if (job.encrypted) job.keys.DecryptBuffer(in[0].get(), n);
      position += n;
      remainingIn -= n;
      s.next_in = in[0].get();
      s.avail_in = n;
    }
    Bytef* before = s.next_out;
    if (job.deflated) {
      const int r = inflate(&s, Z_SYNC_FLUSH);
      const uint32_t k = static_cast<uint32_t>(s.next_out - before);
      job.crcSeen = crc32(job.crcSeen, before, k);
      remainingOut -= k;
      made += k;
      if (r == Z_STREAM_END) break;
      if (r != Z_OK && r != Z_NEED_DICT) {
        job.status = ZipEntryJob::ZlibFailed;
        job.zlibResult = r;
        return false;
      }
    } else {
      // Stored sizes agree (checked when the entry was opened).
      if (s.avail_in == 0) break;
      const uint32_t k = std::min(s.avail_out, s.avail_in);
      std::memcpy(s.next_out, s.next_in, k);
      job.crcSeen = crc32(job.crcSeen, s.next_out, k);
      remainingOut -= k;
      s.next_out += k;
      s.next_in += k;
      s.avail_out -= k;
      s.avail_in -= k;
      made += k;
    }
  }
  return true;
}

void CZipEntryDecoder::Run(ZipEntryJob& job, CFile::Handle archive, const std::atomic<bool>& stop,
                           const unsigned char* decrypted) {
  remainingIn = job.storedBytes;
  remainingOut = job.size;
  position = job.dataOffset;
  stream.next_in = Z_NULL;
  stream.avail_in = 0;
  if (decrypted) {
    // Exactly the chunk that the first read would have brought.
    stream.next_in = const_cast<Bytef*>(decrypted);
    stream.avail_in = static_cast<uInt>(remainingIn);
    position += remainingIn;
    remainingIn = 0;
  }
  if (job.deflated) inflateReset(&stream);
  job.crcSeen = 0;
  job.status = ZipEntryJob::Done;
  uint32_t made;
  do {
    if (stop.load(std::memory_order_relaxed)) {
      job.status = ZipEntryJob::Stopped;
      return;
    }
    if (!Read(job, archive, out.get(), OutSize, made)) return;
    if (made > 0) {
      if (!ZipWorkerIo::WriteAll(job.output, out.get(), made, job.osError)) {
        job.status = ZipEntryJob::WriteFailed;
        return;
      }
      job.written.fetch_add(made, std::memory_order_release);
    }
  } while (made == OutSize);
}

void CZipEntryDecoder::RunSideBySide(ZipEntryJob* const jobs[], unsigned count, CFile::Handle archive,
                                     const std::atomic<bool>& stop) {
  CZipCryptKeys* keys[CZipCryptKeys::MaxLanes];
  unsigned char* data[CZipCryptKeys::MaxLanes];
  size_t sizes[CZipCryptKeys::MaxLanes];
  count = std::min(count, CZipCryptKeys::MaxLanes);
  for (unsigned i = 0; i < count; ++i) {
    ZipEntryJob& job = *jobs[i];
    job.status = ZipEntryJob::Done;
    const uint32_t n = static_cast<uint32_t>(job.storedBytes);
    keys[i] = &job.keys;
    data[i] = in[i].get();
    sizes[i] = ReadChunk(job, archive, data[i], n, job.dataOffset) ? n : 0;
  }
  CZipCryptKeys::DecryptLanes(keys, data, sizes, count);
  // A job whose read failed has its failure noted already.
  for (unsigned i = 0; i < count; ++i)
    if (jobs[i]->status == ZipEntryJob::Done) Run(*jobs[i], archive, stop, data[i]);
}
