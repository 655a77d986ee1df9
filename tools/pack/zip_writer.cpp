#include "zip_writer.h"

#include <zlib.h>

#include <cstring>

#include "pack_error.h"
#include "zip/zip_name_text.h"

namespace kvpack {

namespace {

constexpr size_t ChunkSize = 65536;
constexpr uint16_t Utf8NameFlag = 0x0800;

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

void ToDosTime(std::time_t t, uint16_t& dosTime, uint16_t& dosDate) {
    std::tm tm{};
    if (!LocalTime(t, tm) || tm.tm_year < 80) {
        dosTime = 0;
        dosDate = (1 << 5) | 1;  // 1980-01-01 00:00:00
        return;
    }
    if (tm.tm_year > 207) {
        dosTime = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
        dosDate = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
        return;
    }
    dosTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    dosDate = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

CZipWriter::CZipWriter(CPackFile& out, const ZipWriterOptions& options)
    : out_(out), options_(options), archiveStart_(out.Tell()), inBuf_(ChunkSize), outBuf_(ChunkSize) {}

void CZipWriter::WriteLocalHeader(const Entry& e) {
    const std::string h = LocalHeader(e);
    out_.Write(h.data(), h.size());
}

static void CheckSpec(const ZipEntrySpec& spec) {
    if (spec.name.empty() || spec.name.size() > 0xFFFF - 9)
        throw CPackError("entry name '" + spec.name.substr(0, 80) + "' cannot be stored (empty or too long)");
}

// Names that are not plain ASCII are declared UTF-8 (flag bit 11) and carry
// an Info-ZIP Unicode Path field as well, which the readers that take names
// from MS-DOS hosts as OEM text whatever bit 11 says (Info-ZIP unzip) go by.
// ASCII names keep the flag clear and no field, as before. A name that is
// not UTF-8 is stored as it is, without either.
static bool DeclaredUtf8(const std::string& name) {
    return !ZipText::IsAscii(name.data(), name.size()) && ZipText::IsValidUtf8(name.data(), name.size());
}

static uint16_t NameFlags(const std::string& name) { return DeclaredUtf8(name) ? Utf8NameFlag : 0; }

static std::string NameExtraField(const std::string& name) {
    std::string field;
    if (!DeclaredUtf8(name)) return field;
    Put16(field, 0x7075);
    Put16(field, static_cast<uint32_t>(5 + name.size()));
    field += '\1';  // version
    Put32(field, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(name.data()),
                                             static_cast<uInt>(name.size()))));
    field += name;
    return field;
}

// A new entry at the output's position, before its local header.
CZipWriter::Entry CZipWriter::StartEntry(const ZipEntrySpec& spec) {
    CheckSpec(spec);
    Entry e;
    e.name = spec.name;
    e.dosTime = spec.dosTime;
    e.dosDate = spec.dosDate;
    e.externalAttributes = spec.externalAttributes;
    e.flags = NameFlags(spec.name);
    e.extra = NameExtraField(spec.name);
    e.localOffset = out_.Tell() - archiveStart_;
    return e;
}

void CZipWriter::AddFolder(const ZipEntrySpec& spec) {
    Entry e = StartEntry(spec);
    WriteLocalHeader(e);
    entries_.push_back(e);
}

uint32_t CZipWriter::ComputeCrc(CPackFile& in, uint64_t expectedSize) {
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    while (size_t n = in.Read(inBuf_.data(), inBuf_.size())) {
        crc = crc32(crc, inBuf_.data(), static_cast<uInt>(n));
        total += n;
        if (total > expectedSize) break;
    }
    if (total != expectedSize) throw CPackError("'" + in.Path() + "' changed while it was being packed");
    return static_cast<uint32_t>(crc);
}

void CZipWriter::StartEncryption(const Entry& e) {
    unsigned char header[EncryptionHeaderSize];
    if (options_.deterministicHeaders) {
        uint64_t state = 0xCBF29CE484222325ull;
        for (unsigned char c : e.name) state = (state ^ c) * 0x100000001B3ull;
        state ^= static_cast<uint64_t>(e.crc) << 16;
        for (size_t i = 0; i < EncryptionHeaderSize; ++i)
            header[i] = static_cast<unsigned char>(SplitMix(state) >> 24);
    } else {
        FillRandom(header, sizeof header);
    }
    crypt_.Init(options_.password);
    crypt_.EncryptHeader(header, static_cast<unsigned char>(e.crc >> 24));
    out_.Write(header, sizeof header);
}

uint64_t CZipWriter::WriteData(Entry& e, CPackFile& in, bool deflate, const ProgressFn& progress) {
    uint64_t written = 0;
    if (encrypting_) {
        StartEncryption(e);
        written += EncryptionHeaderSize;
    }
    auto emit = [&](unsigned char* data, size_t n) {
        if (encrypting_) crypt_.Encrypt(data, n);
        out_.Write(data, n);
        written += n;
    };

    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (deflate && deflateInit2(&z, options_.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw CPackError("cannot start the compressor");
    struct ZEnd {
        z_stream* z;
        bool active;
        ~ZEnd() {
            if (active) deflateEnd(z);
        }
    } zend{&z, deflate};

    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    const uint64_t expected = e.uncompressedSize;
    for (;;) {
        size_t n = in.Read(inBuf_.data(), inBuf_.size());
        total += n;
        if (total > expected) break;  // grew while being packed; reported below
        crc = crc32(crc, inBuf_.data(), static_cast<uInt>(n));
        if (!deflate) {
            if (n == 0) break;
            emit(inBuf_.data(), n);
        } else {
            z.next_in = inBuf_.data();
            z.avail_in = static_cast<uInt>(n);
            int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
            int rc;
            do {
                z.next_out = outBuf_.data();
                z.avail_out = static_cast<uInt>(outBuf_.size());
                rc = ::deflate(&z, flush);
                if (rc == Z_STREAM_ERROR) throw CPackError("the compressor failed");
                size_t produced = outBuf_.size() - z.avail_out;
                if (produced) emit(outBuf_.data(), produced);
            } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
            if (n == 0) break;
        }
        if (progress && n) progress(n);
    }
    if (total != expected || (encrypting_ && static_cast<uint32_t>(crc) != e.crc))
        throw CPackError("'" + in.Path() + "' changed while it was being packed");
    e.crc = static_cast<uint32_t>(crc);
    e.compressedSize = written;
    return written;
}

ZipEntryResult CZipWriter::AddFile(const ZipEntrySpec& spec, const std::string& sourcePath,
                                   const ProgressFn& progress) {
    CPackFile in;
    in.OpenRead(sourcePath);
    uint64_t size = in.Size();

    uint64_t headerPos = out_.Tell();
    Entry e = StartEntry(spec);
    e.uncompressedSize = size;
    encrypting_ = !options_.password.empty();
    e.flags |= encrypting_ ? 1 : 0;
    e.method = size > 0 && !spec.store ? 8 : 0;
    e.versionNeeded = (e.method == 8 || encrypting_) ? 20 : 10;
    // Deflated data is kept only when smaller than the file, so the stored
    // size (with the encryption header) bounds the compressed size.
    const uint64_t overhead = encrypting_ ? EncryptionHeaderSize : 0;
    e.localZip64 = NeedsZip64(size + overhead);
    if (encrypting_) {
        e.crc = ComputeCrc(in, size);
        in.Seek(0);
    }
    WriteLocalHeader(e);
    uint64_t dataPos = out_.Tell();

    uint64_t written = WriteData(e, in, e.method == 8, progress);
    if (e.method == 8 && written - overhead >= size) {
        // Deflating did not help: store the bytes instead.
        e.method = 0;
        e.versionNeeded = encrypting_ ? 20 : 10;
        out_.Seek(dataPos);
        in.Seek(0);
        WriteData(e, in, false, nullptr);
    }
    uint64_t endPos = out_.Tell();
    out_.Seek(headerPos);
    WriteLocalHeader(e);
    out_.Seek(endPos);
    entries_.push_back(e);
    return ZipEntryResult{e.method, e.crc, e.compressedSize, e.uncompressedSize};
}

void CZipWriter::Finish() {
    const uint64_t offset = out_.Tell() - archiveStart_;
    uint64_t size = 0;
    std::string cd;
    for (const Entry& e : entries_) {
        cd += CentralHeader(e, options_.hostSystem);
        if (cd.size() >= ChunkSize * 16) {
            out_.Write(cd.data(), cd.size());
            size += cd.size();
            cd.clear();
        }
    }
    size += cd.size();
    cd += EndRecords(entries_.size(), size, offset);
    out_.Write(cd.data(), cd.size());
    out_.Truncate(out_.Tell());
}

}  // namespace kvpack
