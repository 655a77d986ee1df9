#pragma once
// Decoder of LZMA entries (method 14: a small header, then raw LZMA data
// with or without an end marker) and XZ entries (method 95: a whole .xz
// stream) through liblzma. The reader feeds it the entry's decrypted bytes
// the way it feeds inflate; it runs on the reader's own thread.
//
// Every memory need that the data declares (the LZMA dictionary, the XZ
// decoder's memory usage) is held against MemoryLimit before liblzma
// allocates for it.

#include <lzma.h>

#include <cstdint>

class CZipLzmaDecoder {
 public:
  static constexpr uint16_t MethodLzma = 14;
  static constexpr uint16_t MethodXz = 95;
  static constexpr uint64_t MemoryLimit = 256u << 20;
  // Decode() results besides the archive error codes (ZipErrorCode) of a failure.
  enum : int { More = 0, Ended = 1 };

  CZipLzmaDecoder() = default;
  CZipLzmaDecoder(const CZipLzmaDecoder&) = delete;
  CZipLzmaDecoder& operator=(const CZipLzmaDecoder&) = delete;
  ~CZipLzmaDecoder() { End(); }

  static bool Handles(uint16_t method) { return method == MethodLzma || method == MethodXz; }

  // Prepares for one entry of `method` whose `packedSize` bytes of data
  // decode to `size` bytes; nothing is allocated until the data's first bytes
  // arrive. An empty entry without any data has ended already.
  void Begin(uint16_t method, uint64_t size, uint64_t packedSize);
  // Decodes from `in` into `out`, advancing both pointers and lowering both
  // counts. `inputEnds`: no input follows what `in` holds. Returns More, Ended
  // (the stream's end was read, also on every later call), or the archive
  // error code of a failure, described by Reason().
  int Decode(unsigned char*& in, uint32_t& inSize, unsigned char*& out, uint32_t& outSize, bool inputEnds);
  // Whether Decode() has read the stream's end.
  bool Finished() const { return ended; }
  // What made Decode() fail, for the error's detail.
  const char* Reason() const { return reason; }
  // Frees everything liblzma holds; the decoder can begin again.
  void End();

 private:
  int StartLzma();
  int StartXz();
  int Fail(int code, const char* why);
  int FromLzmaResult(lzma_ret result, bool noRoom);

  lzma_stream stream = LZMA_STREAM_INIT;
  bool active = false;   // liblzma holds a coder in `stream`
  bool started = false;  // the coder was set up
  bool ended = false;
  uint16_t method = 0;
  uint64_t size = 0;
  // Method 14's header: version (2 bytes), properties size (2), properties (5).
  unsigned char header[9] = {};
  uint32_t headerHave = 0;
  const char* reason = "";
};
