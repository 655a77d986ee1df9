#include "zip/zip_lzma_decoder.h"

#include <algorithm>

#include "zip/zip_exception.h"

namespace {

// Smallest dictionary liblzma works with.
constexpr uint32_t kMinDictionary = 4096;

}  // namespace

void CZipLzmaDecoder::Begin(uint16_t entryMethod, uint64_t entrySize, uint64_t packedSize) {
  End();
  method = entryMethod;
  size = entrySize;
  ended = size == 0 && packedSize == 0;
}

void CZipLzmaDecoder::End() {
  if (active) lzma_end(&stream);
  const lzma_stream fresh = LZMA_STREAM_INIT;
  stream = fresh;
  active = started = ended = false;
  headerHave = 0;
  reason = "";
}

int CZipLzmaDecoder::Fail(int code, const char* why) {
  reason = why;
  return code;
}

int CZipLzmaDecoder::StartLzma() {
  // Properties: one byte (pb * 5 + lp) * 9 + lc, then the dictionary size.
  if (header[2] != 5 || header[3] != 0) return Fail(ErrDamagedArchive, "LZMA header is damaged");
  const unsigned char* props = header + 4;
  if (props[0] >= 9 * 5 * 5) return Fail(ErrDamagedArchive, "LZMA properties are damaged");
  const uint32_t dictionary = props[1] | (props[2] << 8) | (props[3] << 16) | (uint32_t{props[4]} << 24);
  if (dictionary > MemoryLimit) return Fail(ErrDamagedArchive, "LZMA dictionary is larger than 256 MiB");

  lzma_options_lzma options{};
  options.lc = props[0] % 9;
  options.lp = props[0] / 9 % 5;
  options.pb = props[0] / 45;
  if (options.lc + options.lp > LZMA_LCLP_MAX) return Fail(ErrDamagedArchive, "LZMA properties are not supported");
  // No match reaches further back than the entry's own start, so a
  // dictionary larger than the entry is never used.
  options.dict_size = static_cast<uint32_t>(std::max<uint64_t>(kMinDictionary, std::min<uint64_t>(dictionary, size)));
  // The entry's size ends the data; an end marker right there is accepted too.
  options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  options.ext_size_low = static_cast<uint32_t>(size);
  options.ext_size_high = static_cast<uint32_t>(size >> 32);
  const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  const lzma_ret result = lzma_raw_decoder(&stream, filters);
  active = true;
  return result == LZMA_OK ? More : FromLzmaResult(result, false);
}

int CZipLzmaDecoder::StartXz() {
  // Multiple streams and stream padding are read as the xz tool reads them.
  const lzma_ret result = lzma_stream_decoder(&stream, MemoryLimit, LZMA_CONCATENATED);
  active = true;
  return result == LZMA_OK ? More : FromLzmaResult(result, false);
}

int CZipLzmaDecoder::Decode(unsigned char*& in, uint32_t& inSize, unsigned char*& out, uint32_t& outSize,
                            bool inputEnds) {
  if (ended) return Ended;
  if (!started) {
    if (method == MethodLzma) {
      const uint32_t take = std::min<uint32_t>(sizeof header - headerHave, inSize);
      std::copy(in, in + take, header + headerHave);
      headerHave += take;
      in += take;
      inSize -= take;
      if (headerHave < sizeof header)
        return inputEnds && inSize == 0 ? Fail(ErrDamagedArchive, "LZMA data ends early") : More;
    }
    started = true;
    const int result = method == MethodLzma ? StartLzma() : StartXz();
    if (result != More) return result;
  }
  stream.next_in = in;
  stream.avail_in = inSize;
  stream.next_out = out;
  stream.avail_out = outSize;
  const lzma_ret result = lzma_code(&stream, inputEnds ? LZMA_FINISH : LZMA_RUN);
  in += inSize - stream.avail_in;
  inSize = static_cast<uint32_t>(stream.avail_in);
  out += outSize - stream.avail_out;
  outSize = static_cast<uint32_t>(stream.avail_out);
  if (result == LZMA_OK) return More;
  if (result == LZMA_STREAM_END) {
    ended = true;
    return Ended;
  }
  // Without progress: no room left while input remains means the data goes
  // on past the entry's size; otherwise it ends before its stream does.
  return FromLzmaResult(result, outSize == 0 && !(inputEnds && inSize == 0));
}

int CZipLzmaDecoder::FromLzmaResult(lzma_ret result, bool noRoom) {
  const bool xz = method == MethodXz;
  switch (result) {
    case LZMA_MEM_ERROR:
      return Fail(ErrZlibMemory, xz ? "XZ decoder" : "LZMA decoder");
    case LZMA_MEMLIMIT_ERROR:
      return Fail(ErrDamagedArchive, "XZ stream needs more than 256 MiB of memory");
    case LZMA_OPTIONS_ERROR:
      return Fail(ErrDamagedArchive, xz ? "XZ stream uses a filter or option that is not supported"
                                        : "LZMA properties are not supported");
    case LZMA_FORMAT_ERROR:
      return Fail(ErrDamagedArchive, "not an XZ stream");
    case LZMA_DATA_ERROR:
      return Fail(ErrDamagedArchive, xz ? "XZ data is damaged" : "LZMA data is damaged");
    case LZMA_BUF_ERROR:
      if (noRoom) return Fail(ErrDamagedArchive, xz ? "XZ data is longer than the entry" : "LZMA data is longer than the entry");
      return Fail(ErrDamagedArchive, xz ? "XZ data ends early" : "LZMA data ends early");
    default:
      return Fail(ErrInternal, xz ? "XZ decoder" : "LZMA decoder");
  }
}
