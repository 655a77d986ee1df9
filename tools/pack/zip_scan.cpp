#include "zip_scan.h"

#include "pack_error.h"
#include "pack_fs.h"

namespace kvpack {

namespace {

uint32_t Get16(const std::string& s, size_t at) {
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8);
}

uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | (Get16(s, at + 2) << 16); }

std::string ReadAt(CPackFile& f, uint64_t offset, size_t count) {
    std::string bytes(count, '\0');
    f.Seek(offset);
    size_t done = 0;
    while (done < count) {
        size_t n = f.Read(&bytes[done], count - done);
        if (n == 0) break;
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

ZipSummary ScanZipFile(const std::string& path) {
    CPackFile f;
    f.OpenRead(path);
    const uint64_t size = f.Size();
    const std::string notZip = "'" + path + "' is not a ZIP archive";
    if (size < 22) throw CPackError(notZip + " (too short)");

    // The end record sits in the last 22 + 65535 bytes (a comment may follow it).
    uint64_t tailStart = size > 22 + 65535 ? size - (22 + 65535) : 0;
    std::string tail = ReadAt(f, tailStart, static_cast<size_t>(size - tailStart));
    size_t eocd = std::string::npos;
    for (size_t i = tail.size() - 22 + 1; i-- > 0;) {
        if (Get32(tail, i) == 0x06054b50) {
            eocd = i;
            break;
        }
    }
    if (eocd == std::string::npos) throw CPackError(notZip + " (no end of central directory record)");
    if (Get16(tail, eocd + 4) != 0 || Get16(tail, eocd + 6) != 0)
        throw CPackError("'" + path + "' is part of a multi-volume archive; the launcher needs a single file");
    const uint32_t count = Get16(tail, eocd + 10);
    const uint32_t cdSize = Get32(tail, eocd + 12);
    const uint32_t cdOffset = Get32(tail, eocd + 16);
    if (count == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF)
        throw CPackError("'" + path + "' uses Zip64 records, which the launcher cannot read");
    const uint64_t eocdPos = tailStart + eocd;
    if (static_cast<uint64_t>(cdSize) > eocdPos) throw CPackError(notZip + " (damaged central directory)");
    // Data in front of the archive shifts every offset; the real directory
    // ends where the end record begins.
    const uint64_t cdStart = eocdPos - cdSize;

    if (count > 0) {
        std::string head = ReadAt(f, 0, 4);
        if (head.size() < 4 || Get32(head, 0) != 0x04034b50)
            throw CPackError("'" + path + "' does not begin with a local file header; the launcher expects the "
                             "archive to begin there (is it a self-extracting file?)");
    }

    std::string cd = ReadAt(f, cdStart, cdSize);
    ZipSummary summary;
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 46 > cd.size() || Get32(cd, at) != 0x02014b50)
            throw CPackError(notZip + " (damaged central directory)");
        const uint32_t flags = Get16(cd, at + 8);
        const uint32_t nameLength = Get16(cd, at + 28);
        const uint32_t extraLength = Get16(cd, at + 30);
        const uint32_t commentLength = Get16(cd, at + 32);
        if (at + 46 + nameLength > cd.size()) throw CPackError(notZip + " (damaged central directory)");
        ScannedEntry e;
        e.name = cd.substr(at + 46, nameLength);
        e.encrypted = (flags & 1) != 0;
        e.isFolder = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\');
        if (!e.isFolder) (e.encrypted ? summary.encryptedFiles : summary.plainFiles)++;
        summary.entries.push_back(e);
        at += 46 + nameLength + extraLength + commentLength;
    }
    (void)cdOffset;
    return summary;
}

}  // namespace kvpack
