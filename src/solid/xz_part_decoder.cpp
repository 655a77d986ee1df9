#include "solid/xz_part_decoder.h"

#include <new>

#include "zip/zip_exception.h"

namespace {

// Room beyond the filters' own need: the stream and block decoders' state
// and the index check.
constexpr uint64_t kDecoderSlack = 1 << 20;

[[noreturn]] void Refuse(const std::string& name, const std::string& why) {
    ThrowZipError(ErrDamagedArchive, name, why);
}

// Frees the filter options that lzma_block_header_decode allocated.
struct FilterChain {
    lzma_filter filters[LZMA_FILTERS_MAX + 1];
    FilterChain() {
        for (lzma_filter& f : filters) f = lzma_filter{LZMA_VLI_UNKNOWN, nullptr};
    }
    ~FilterChain() { lzma_filters_free(filters, nullptr); }
};

}  // namespace

XzPartLayout InspectXzPart(const unsigned char* data, size_t size, const std::string& name) {
    if (size < LZMA_STREAM_HEADER_SIZE + 1) Refuse(name, "not an xz stream");
    lzma_stream_flags flags;
    switch (lzma_stream_header_decode(&flags, data)) {
        case LZMA_OK: break;
        case LZMA_OPTIONS_ERROR: Refuse(name, "an xz stream of an unknown version");
        case LZMA_DATA_ERROR: Refuse(name, "the xz stream header is damaged");
        default: Refuse(name, "not an xz stream");
    }
    // Tar members carry no checksum of their own: the stream's is required.
    if (flags.check == LZMA_CHECK_NONE || !lzma_check_is_supported(flags.check))
        Refuse(name, "the xz stream has no integrity check this launcher knows");
    const unsigned char* block = data + LZMA_STREAM_HEADER_SIZE;
    if (block[0] == 0) Refuse(name, "the xz stream holds no block");

    FilterChain chain;
    lzma_block header{};
    header.version = 0;
    header.check = flags.check;
    header.filters = chain.filters;
    header.header_size = lzma_block_header_size_decode(block[0]);
    if (header.header_size > size - LZMA_STREAM_HEADER_SIZE) Refuse(name, "the xz stream is truncated");
    if (lzma_block_header_decode(&header, nullptr, block) != LZMA_OK)
        Refuse(name, "the xz block header is damaged or uses filters this launcher lacks");
    if (header.uncompressed_size == LZMA_VLI_UNKNOWN) Refuse(name, "the xz block does not declare its size");

    XzPartLayout layout;
    layout.uncompressedSize = header.uncompressed_size;
    layout.memoryNeed = lzma_raw_decoder_memusage(chain.filters);
    if (layout.memoryNeed == UINT64_MAX) Refuse(name, "the xz block uses filters this launcher lacks");
    if (layout.memoryNeed > kXzMemoryLimit)
        Refuse(name, "the xz stream needs " + std::to_string(layout.memoryNeed >> 20) + " MiB to decode; at most " +
                         std::to_string(kXzMemoryLimit >> 20) + " MiB are allowed");
    return layout;
}

CXzPartDecoder::~CXzPartDecoder() { End(); }

void* CXzPartDecoder::ArenaAlloc(void* opaque, size_t count, size_t size) {
    Arena& a = *static_cast<Arena*>(opaque);
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    const size_t bytes = (count * size + 15) & ~size_t{15};
    if (bytes > a.size - a.used) return nullptr;
    void* at = a.base.get() + a.used;
    a.used += bytes;
    return at;
}

void CXzPartDecoder::ArenaFree(void*, void*) {}

void CXzPartDecoder::Start(const XzPartLayout& layout, const std::string& name) {
    End();
    const uint64_t need = layout.memoryNeed + kDecoderSlack;
    if (need > SIZE_MAX) Refuse(name, "the xz stream needs more memory than this system can give");
    arena.base.reset(new (std::nothrow) unsigned char[need]);
    if (!arena.base) Refuse(name, "not enough memory to decode the xz stream");
    arena.size = static_cast<size_t>(need);
    arena.used = 0;
    allocator = lzma_allocator{&CXzPartDecoder::ArenaAlloc, &CXzPartDecoder::ArenaFree, &arena};
    stream = LZMA_STREAM_INIT;
    stream.allocator = &allocator;
    if (lzma_stream_decoder(&stream, kXzMemoryLimit, 0) != LZMA_OK) Refuse(name, "cannot start the xz decoder");
    started = true;
}

lzma_ret CXzPartDecoder::Decode(const unsigned char*& in, size_t& inSize, unsigned char*& out, size_t& outSize) {
    stream.next_in = in;
    stream.avail_in = inSize;
    stream.next_out = out;
    stream.avail_out = outSize;
    const lzma_ret result = lzma_code(&stream, LZMA_RUN);
    in = stream.next_in;
    inSize = stream.avail_in;
    out = stream.next_out;
    outSize = stream.avail_out;
    return result;
}

void CXzPartDecoder::End() {
    if (started) lzma_end(&stream);
    started = false;
    arena.base.reset();
    arena.size = arena.used = 0;
}

std::string CXzPartDecoder::Describe(lzma_ret result) {
    switch (result) {
        case LZMA_DATA_ERROR: return "the xz data is damaged";
        case LZMA_BUF_ERROR: return "the xz stream is truncated";
        case LZMA_FORMAT_ERROR: return "not an xz stream";
        case LZMA_OPTIONS_ERROR: return "the xz stream uses options this launcher lacks";
        case LZMA_MEM_ERROR:
        case LZMA_MEMLIMIT_ERROR: return "the xz stream needs more memory than it declared";
        default: return "xz error " + std::to_string(static_cast<int>(result));
    }
}
