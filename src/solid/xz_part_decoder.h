// The .xz stream of one solid part: what its start declares, and a decoder
// that runs on a worker thread without allocating there (the memory it needs
// is reserved on the calling thread before it starts, from the sizes that
// the stream's headers declare, and checked against a fixed limit first).
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Declared memory needs beyond this are refused before anything is allocated.
constexpr uint64_t kXzMemoryLimit = uint64_t{256} << 20;
// The stream header and the largest block header: the bytes that
// InspectXzPart needs at most.
constexpr size_t kXzHeadBytes = 12 + 1024;

struct XzPartLayout {
    uint64_t uncompressedSize = 0;  // what the first block declares
    uint64_t memoryNeed = 0;        // what its filters need to decode
};

// Reads the stream header and the first block header from the first `size`
// bytes of the part `name`. Throws CZipException 101 with the reason: not an
// xz stream, no or an unknown integrity check, no block, a block that does
// not declare its uncompressed size, filters this decoder lacks, or a memory
// need beyond kXzMemoryLimit.
XzPartLayout InspectXzPart(const unsigned char* data, size_t size, const std::string& name);

class CXzPartDecoder {
public:
    CXzPartDecoder() = default;
    ~CXzPartDecoder();
    CXzPartDecoder(const CXzPartDecoder&) = delete;
    CXzPartDecoder& operator=(const CXzPartDecoder&) = delete;

    // Reserves the memory `layout` needs and starts a decoder for one whole
    // stream. Throws CZipException 101 when it cannot.
    void Start(const XzPartLayout& layout, const std::string& name);
    // Decodes from `in` into `out`, advancing both: LZMA_OK, LZMA_STREAM_END
    // at the stream's end, or the error. Allocates nothing outside the
    // reserved memory, so it may run on a thread that must not call the C
    // library's allocator.
    lzma_ret Decode(const unsigned char*& in, size_t& inSize, unsigned char*& out, size_t& outSize);
    // Ends the decoder and gives its memory back.
    void End();
    // The reason for a failed Decode, for the user.
    static std::string Describe(lzma_ret result);

private:
    struct Arena {
        std::unique_ptr<unsigned char[]> base;
        size_t size = 0;
        size_t used = 0;
    };
    static void* ArenaAlloc(void* opaque, size_t count, size_t size);
    static void ArenaFree(void* opaque, void* address);

    Arena arena;
    lzma_allocator allocator{};
    lzma_stream stream = LZMA_STREAM_INIT;
    bool started = false;
};
