#include "solid_writer.h"

#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

#include "pack_error.h"
#include "solid/solid_payload.h"
#include "tar_writer.h"

namespace kvpack {

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr uint32_t kMaxDictionary = 64u << 20;

// The smallest dictionary LZMA2 stores exactly (2^n or 3 * 2^(n-1)) that
// holds `bytes`, within 4 KiB .. 64 MiB: a small part needs little memory.
uint32_t DictionaryFor(uint64_t bytes) {
    for (uint32_t size = 4096; size < kMaxDictionary; size *= 2) {
        if (bytes <= size) return size;
        if (bytes <= size + size / 2) return size + size / 2;
    }
    return kMaxDictionary;
}

uint32_t ModeOf(const ScannedItem& item) {
    const uint32_t unixMode = item.info.externalAttributes >> 16;
    if (unixMode != 0) return unixMode & 07777;
    uint32_t mode = item.info.isFolder ? 0755 : 0644;
    if (item.info.externalAttributes & 1) mode &= ~0222u;  // read-only
    return mode;
}

std::string LowerExtension(const std::string& name) {
    const size_t slash = name.rfind('/'), dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

uint64_t TarBytesOf(const ScannedItem& item, int64_t time) {
    TarMemberSpec spec{item.relativeName, item.info.isFolder, item.info.isFolder ? 0 : item.info.size, 0, time};
    const uint64_t data = spec.size + TarPadding(spec.size).size();
    return TarHeaders(spec).size() + data;
}

[[noreturn]] void CodecFailure(const std::string& what, lzma_ret result) {
    throw CPackError("cannot compress the solid payload (" + what + ", liblzma error " +
                     std::to_string(static_cast<int>(result)) + ")");
}

// Feeds the part's tar bytes through `stream` into `out`.
class CPartEncoder {
public:
    CPartEncoder(lzma_stream& stream, CPackFile& out, std::atomic<uint64_t>& done)
        : stream(stream), out(out), done(done), buffer(kChunk) {}

    void Put(const void* data, size_t size, lzma_action action = LZMA_RUN) {
        stream.next_in = static_cast<const uint8_t*>(data);
        stream.avail_in = size;
        for (;;) {
            stream.next_out = buffer.data();
            stream.avail_out = buffer.size();
            const lzma_ret result = lzma_code(&stream, action);
            out.Write(buffer.data(), buffer.size() - stream.avail_out);
            if (result == LZMA_STREAM_END) return;
            if (result != LZMA_OK) CodecFailure("encoding", result);
            if (stream.avail_in == 0 && action == LZMA_RUN) break;
        }
        done += size;
    }

private:
    lzma_stream& stream;
    CPackFile& out;
    std::atomic<uint64_t>& done;
    std::vector<uint8_t> buffer;
};

// Whether the x86 branch filter makes a part of code smaller: measured on a
// sample of its files' bytes (their first 4 MiB, a quick preset), since the
// filter turns data that is not code into noise and some code compiles to
// few relative calls.
bool BranchFilterHelps(const SolidPartPlan& part) {
    constexpr size_t kSample = 4 << 20;
    std::string sample;
    for (const ScannedItem* item : part.items) {
        if (item->info.isFolder) continue;
        sample += ReadFileBytes(item->path, kSample - sample.size());
        if (sample.size() >= kSample) break;
    }
    lzma_options_lzma lzma2;
    lzma_lzma_preset(&lzma2, 6);
    std::vector<uint8_t> out(sample.size() + sample.size() / 2 + 4096);
    size_t sizes[2];
    for (int withFilter = 0; withFilter < 2; ++withFilter) {
        lzma_filter filters[3];
        size_t n = 0;
        if (withFilter) filters[n++] = lzma_filter{LZMA_FILTER_X86, nullptr};
        filters[n++] = lzma_filter{LZMA_FILTER_LZMA2, &lzma2};
        filters[n] = lzma_filter{LZMA_VLI_UNKNOWN, nullptr};
        sizes[withFilter] = 0;
        if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(sample.data()), sample.size(),
                                   out.data(), &sizes[withFilter], out.size()) != LZMA_OK)
            return true;
    }
    return sizes[1] < sizes[0];
}

// Compresses one part into `path`: stream header, one block whose header
// declares both sizes (the launcher reserves its memory and knows the
// payload's size from it), index and footer. The block's data goes to a
// second temporary file first, since its header comes before it.
void EncodePart(const SolidPartPlan& part, const SolidOptions& options, const std::string& path,
                std::atomic<uint64_t>& done) {
    lzma_options_lzma lzma2;
    lzma_lzma_preset(&lzma2, 9);
    lzma2.dict_size = DictionaryFor(part.tarBytes);
    lzma_filter filters[3];
    size_t n = 0;
    if (part.x86Code && BranchFilterHelps(part)) filters[n++] = lzma_filter{LZMA_FILTER_X86, nullptr};
    filters[n++] = lzma_filter{LZMA_FILTER_LZMA2, &lzma2};
    filters[n] = lzma_filter{LZMA_VLI_UNKNOWN, nullptr};

    lzma_block block{};
    block.version = 0;
    block.check = LZMA_CHECK_CRC64;
    block.filters = filters;
    block.compressed_size = LZMA_VLI_UNKNOWN;
    block.uncompressed_size = LZMA_VLI_UNKNOWN;

    const std::string dataPath = path + ".data";
    {
        lzma_stream stream = LZMA_STREAM_INIT;
        lzma_ret result = lzma_block_encoder(&stream, &block);
        if (result != LZMA_OK) CodecFailure("starting the encoder", result);
        struct End {
            lzma_stream& s;
            ~End() { lzma_end(&s); }
        } end{stream};
        CPackFile data;
        RemoveFileQuietly(dataPath);
        if (!data.CreateNew(dataPath)) throw CPackError("cannot create the temporary file '" + dataPath + "'");
        CPartEncoder encoder(stream, data, done);
        std::vector<char> buffer(kChunk);
        for (const ScannedItem* item : part.items) {
            const uint64_t size = item->info.isFolder ? 0 : item->info.size;
            const TarMemberSpec spec{item->relativeName, item->info.isFolder, size, ModeOf(*item),
                                     options.fixedTime ? options.time : static_cast<int64_t>(item->info.modified)};
            const std::string headers = TarHeaders(spec);
            encoder.Put(headers.data(), headers.size());
            if (!item->info.isFolder) {
                CPackFile in;
                in.OpenRead(item->path);
                for (uint64_t left = size; left > 0;) {
                    const size_t got = in.Read(buffer.data(), static_cast<size_t>(std::min<uint64_t>(kChunk, left)));
                    if (got == 0) throw CPackError("'" + item->path + "' became shorter while it was packed");
                    encoder.Put(buffer.data(), got);
                    left -= got;
                }
                const std::string padding = TarPadding(size);
                encoder.Put(padding.data(), padding.size());
            }
        }
        if (part.last) {
            const std::string tail = TarEnd();
            encoder.Put(tail.data(), tail.size());
        }
        encoder.Put(nullptr, 0, LZMA_FINISH);
        data.Close();
    }

    // The stream around the block.
    uint8_t header[LZMA_BLOCK_HEADER_SIZE_MAX];
    lzma_stream_flags flags{};
    flags.version = 0;
    flags.check = LZMA_CHECK_CRC64;
    uint8_t streamHeader[LZMA_STREAM_HEADER_SIZE];
    lzma_ret result = lzma_stream_header_encode(&flags, streamHeader);
    if (result == LZMA_OK) result = lzma_block_header_size(&block);
    if (result == LZMA_OK) result = lzma_block_header_encode(&block, header);
    if (result != LZMA_OK) CodecFailure("writing the block header", result);
    lzma_index* index = lzma_index_init(nullptr);
    if (!index) throw CPackError("not enough memory for the solid payload's index");
    std::vector<uint8_t> indexBytes;
    result = lzma_index_append(index, nullptr, lzma_block_unpadded_size(&block), block.uncompressed_size);
    if (result == LZMA_OK) {
        indexBytes.resize(lzma_index_size(index));
        size_t at = 0;
        result = lzma_index_buffer_encode(index, indexBytes.data(), &at, indexBytes.size());
        flags.backward_size = lzma_index_size(index);
    }
    lzma_index_end(index, nullptr);
    uint8_t footer[LZMA_STREAM_HEADER_SIZE];
    if (result == LZMA_OK) result = lzma_stream_footer_encode(&flags, footer);
    if (result != LZMA_OK) CodecFailure("writing the index", result);

    CPackFile out;
    RemoveFileQuietly(path);
    if (!out.CreateNew(path)) throw CPackError("cannot create the temporary file '" + path + "'");
    out.Write(streamHeader, sizeof streamHeader);
    out.Write(header, block.header_size);
    {
        CPackFile data;
        data.OpenRead(dataPath);
        std::vector<char> buffer(kChunk);
        while (size_t got = data.Read(buffer.data(), buffer.size())) out.Write(buffer.data(), got);
    }
    RemoveFileQuietly(dataPath);
    out.Write(indexBytes.data(), indexBytes.size());
    out.Write(footer, sizeof footer);
    out.Close();
}

}  // namespace

bool IsX86Code(const std::string& path) {
    std::string head;
    try {
        head = ReadFileBytes(path, 4096);
    } catch (const CPackError&) {
        return false;
    }
    auto u16 = [&](size_t at) {
        return at + 2 <= head.size() ? static_cast<unsigned>(static_cast<unsigned char>(head[at]) |
                                                             static_cast<unsigned char>(head[at + 1]) << 8)
                                     : 0u;
    };
    if (head.size() >= 20 && head.compare(0, 4, "\x7F" "ELF") == 0) {
        const unsigned machine = u16(18);
        return machine == 3 || machine == 62;  // i386, x86-64
    }
    if (head.size() >= 64 && head.compare(0, 2, "MZ") == 0) {
        const size_t pe = u16(0x3C) | static_cast<size_t>(u16(0x3E)) << 16;
        if (pe + 6 > head.size() || head.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return false;
        const unsigned machine = u16(pe + 4);
        return machine == 0x14C || machine == 0x8664;
    }
    return false;
}

std::vector<SolidPartPlan> PlanSolidParts(const std::vector<ScannedItem>& items, const SolidOptions& options) {
    std::vector<const ScannedItem*> folders, files[2];
    for (const ScannedItem& item : items) {
        if (item.info.isFolder)
            folders.push_back(&item);
        else
            files[IsX86Code(item.path) ? 1 : 0].push_back(&item);
    }
    for (auto& group : files)
        std::stable_sort(group.begin(), group.end(), [](const ScannedItem* a, const ScannedItem* b) {
            const std::string ea = LowerExtension(a->relativeName), eb = LowerExtension(b->relativeName);
            return ea != eb ? ea < eb : a->relativeName < b->relativeName;
        });

    std::vector<SolidPartPlan> parts(1);
    for (const ScannedItem* folder : folders) {
        parts.back().items.push_back(folder);
        parts.back().tarBytes += TarBytesOf(*folder, 0);
    }
    size_t filesInPart = 0;
    for (int code = 0; code < 2; ++code) {
        for (const ScannedItem* file : files[code]) {
            if (filesInPart > 0 && (parts.back().tarBytes >= options.partSize || parts.back().x86Code != (code == 1))) {
                parts.emplace_back();
                filesInPart = 0;
            }
            SolidPartPlan& part = parts.back();
            part.x86Code = code == 1;
            part.items.push_back(file);
            part.tarBytes += TarBytesOf(*file, 0);
            ++filesInPart;
        }
    }
    parts.back().last = true;
    parts.back().tarBytes += TarEnd().size();
    return parts;
}

size_t WriteSolidPayload(CZipWriter& writer, const std::vector<ScannedItem>& items, const SolidOptions& options,
                         ZipEntrySpec entry, const std::string& temporaryBase, const ProgressFn& progress) {
    const std::vector<SolidPartPlan> parts = PlanSolidParts(items, options);
    std::vector<std::string> paths;
    for (size_t i = 0; i < parts.size(); ++i) paths.push_back(temporaryBase + ".part" + std::to_string(i));
    struct Cleanup {
        const std::vector<std::string>& paths;
        ~Cleanup() {
            for (const std::string& p : paths) {
                RemoveFileQuietly(p);
                RemoveFileQuietly(p + ".data");
            }
        }
    } cleanup{paths};

    // Every processor compresses parts, the largest first.
    std::vector<size_t> order(parts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return parts[a].tarBytes > parts[b].tarBytes; });
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> done{0};
    std::mutex failureLock;
    std::exception_ptr failure;
    auto work = [&] {
        for (size_t k; (k = next++) < order.size();) {
            try {
                EncodePart(parts[order[k]], options, paths[order[k]], done);
            } catch (...) {
                std::lock_guard<std::mutex> hold(failureLock);
                if (!failure) failure = std::current_exception();
                next = order.size();
            }
        }
    };
    unsigned threads = options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    threads = std::min<unsigned>(threads, static_cast<unsigned>(parts.size()));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    std::atomic<bool> finished{false};
    std::thread reporter([&] {
        uint64_t reported = 0;
        while (!finished) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const uint64_t now = done;
            if (progress && now > reported) progress(now - reported);
            reported = now;
        }
    });
    work();
    for (std::thread& t : pool) t.join();
    finished = true;
    reporter.join();
    if (failure) std::rethrow_exception(failure);

    for (size_t i = 0; i < parts.size(); ++i) {
        entry.name = SolidPartName(static_cast<int>(i), static_cast<int>(parts.size()));
        entry.store = true;
        writer.AddFile(entry, paths[i], nullptr);
    }
    return parts.size();
}

}  // namespace kvpack
