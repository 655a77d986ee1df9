// Writes a single-file ZIP archive into an output file, behind whatever the
// file already holds: offsets count from the archive's own first byte.
//
// File data is streamed in chunks (deflate with raw window bits -15, stored
// when deflating does not make it smaller), optionally encrypted with the
// traditional method; sizes and CRC are patched into the local header after
// the data (no data descriptor). Encryption needs the CRC before the data
// (its high byte is the header's check byte), so encrypted files are read
// twice: once for the CRC, once for the data. Zip64 records are written
// where a size, an offset or the entry count needs them (zip_records.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pack_fs.h"
#include "zip_crypt_writer.h"
#include "zip_records.h"

namespace kvpack {

struct ZipEntrySpec {
    std::string name;          // archive name bytes, '/' separators, folders end with '/'
    uint16_t dosTime = 0;
    uint16_t dosDate = 0x21;   // 1980-01-01
    uint32_t externalAttributes = 0;
    bool store = false;        // keep the bytes as they are (data compressed already)
};

struct ZipWriterOptions {
    std::string password;      // empty: no encryption
    int level = 6;             // zlib compression level
    bool deterministicHeaders = false;  // encryption header bytes derived from name and CRC
    unsigned char hostSystem = PlatformHostSystem;
};

// Called with the number of payload bytes just processed.
using ProgressFn = std::function<void(uint64_t)>;

struct ZipEntryResult {
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
};

// MS-DOS time and date of a local time; clamped to 1980-01-01 .. 2107-12-31.
void ToDosTime(std::time_t t, uint16_t& dosTime, uint16_t& dosDate);

class CZipWriter {
public:
    // out is positioned where the archive begins.
    CZipWriter(CPackFile& out, const ZipWriterOptions& options);

    void AddFolder(const ZipEntrySpec& spec);
    ZipEntryResult AddFile(const ZipEntrySpec& spec, const std::string& sourcePath, const ProgressFn& progress);
    // Writes the central directory and the end record, and cuts the file
    // behind them.
    void Finish();

    size_t EntryCount() const { return entries_.size(); }

private:
    using Entry = ZipHeaderFields;

    Entry StartEntry(const ZipEntrySpec& spec);
    void WriteLocalHeader(const Entry& e);
    uint32_t ComputeCrc(CPackFile& in, uint64_t expectedSize);
    uint64_t WriteData(Entry& e, CPackFile& in, bool deflate, const ProgressFn& progress);
    void StartEncryption(const Entry& e);

    CPackFile& out_;
    ZipWriterOptions options_;
    uint64_t archiveStart_;
    std::vector<Entry> entries_;
    CZipCryptWriter crypt_;
    bool encrypting_ = false;
    std::vector<unsigned char> inBuf_, outBuf_;
};

}  // namespace kvpack
