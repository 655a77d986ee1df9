#include "zip_probe.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace packtest {

uint32_t Get16(const std::string& s, size_t at) {
    if (at + 2 > s.size()) throw std::runtime_error("read past the end");
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8);
}

uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | (Get16(s, at + 2) << 16); }

namespace {

struct Keys {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    void Update(unsigned char c) {
        k0 = static_cast<uint32_t>(crc32(k0 ^ 0xFFFFFFFFu, &c, 1) ^ 0xFFFFFFFFu);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        unsigned char hi = static_cast<unsigned char>(k1 >> 24);
        k2 = static_cast<uint32_t>(crc32(k2 ^ 0xFFFFFFFFu, &hi, 1) ^ 0xFFFFFFFFu);
    }
    unsigned char Decrypt(unsigned char c) {
        uint32_t t = (k2 & 0xFFFF) | 2;
        unsigned char p = static_cast<unsigned char>(c ^ ((t * (t ^ 1)) >> 8));
        Update(p);
        return p;
    }
};

std::string Inflate(const std::string& in, size_t expected) {
    std::string out(expected, '\0');
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.empty() ? nullptr : &out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    size_t produced = expected - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != expected) throw std::runtime_error("inflate failed");
    return out;
}

}  // namespace

ProbeArchive ProbeZip(const std::string& bytes, const std::string& password) {
    size_t eocd = bytes.rfind(std::string("PK\x05\x06", 4));
    if (eocd == std::string::npos || eocd + 22 > bytes.size()) throw std::runtime_error("no end record");
    if (eocd + 22 != bytes.size()) throw std::runtime_error("bytes behind the end record");
    uint32_t count = Get16(bytes, eocd + 10), cdSize = Get32(bytes, eocd + 12), cdOffset = Get32(bytes, eocd + 16);
    if (Get16(bytes, eocd + 8) != count) throw std::runtime_error("entry counts differ");
    ProbeArchive archive;
    archive.bytesBefore = eocd - cdSize - cdOffset;
    size_t at = eocd - cdSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (Get32(bytes, at) != 0x02014b50) throw std::runtime_error("bad central header");
        ProbeEntry e;
        e.versionMadeBy = Get16(bytes, at + 4);
        e.flags = Get16(bytes, at + 8);
        e.method = Get16(bytes, at + 10);
        e.dosTime = Get16(bytes, at + 12);
        e.dosDate = Get16(bytes, at + 14);
        e.crc = Get32(bytes, at + 16);
        e.compressedSize = Get32(bytes, at + 20);
        e.uncompressedSize = Get32(bytes, at + 24);
        uint32_t n = Get16(bytes, at + 28), m = Get16(bytes, at + 30), k = Get16(bytes, at + 32);
        e.externalAttributes = Get32(bytes, at + 38);
        e.localOffset = Get32(bytes, at + 42);
        e.name = bytes.substr(at + 46, n);
        at += 46 + n + m + k;

        size_t local = archive.bytesBefore + e.localOffset;
        if (Get32(bytes, local) != 0x04034b50) throw std::runtime_error(e.name + ": bad local header");
        if (Get16(bytes, local + 6) != e.flags || Get16(bytes, local + 8) != e.method ||
            Get32(bytes, local + 14) != e.crc || Get32(bytes, local + 18) != e.compressedSize ||
            Get32(bytes, local + 22) != e.uncompressedSize || Get16(bytes, local + 26) != n ||
            bytes.compare(local + 30, n, e.name) != 0)
            throw std::runtime_error(e.name + ": local header differs from the central one");
        size_t data = local + 30 + n + Get16(bytes, local + 28);
        if (data + e.compressedSize > eocd) throw std::runtime_error(e.name + ": data runs past the archive");
        std::string raw = bytes.substr(data, e.compressedSize);
        if (e.flags & 1) {
            if (password.empty()) throw std::runtime_error(e.name + ": encrypted, no password");
            if (raw.size() < 12) throw std::runtime_error(e.name + ": short encryption header");
            Keys keys;
            for (char c : password) keys.Update(static_cast<unsigned char>(c));
            for (char& c : raw) c = static_cast<char>(keys.Decrypt(static_cast<unsigned char>(c)));
            e.checkByte = static_cast<unsigned char>(raw[11]);
            if (e.checkByte != (e.crc >> 24)) throw std::runtime_error(e.name + ": wrong check byte");
            raw.erase(0, 12);
        }
        if (e.method == 0)
            e.data = raw;
        else if (e.method == 8)
            e.data = Inflate(raw, e.uncompressedSize);
        else
            throw std::runtime_error(e.name + ": unknown method");
        if (e.data.size() != e.uncompressedSize) throw std::runtime_error(e.name + ": size differs");
        uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        if (crc != e.crc) throw std::runtime_error(e.name + ": CRC differs");
        archive.entries.push_back(e);
    }
    if (at != eocd) throw std::runtime_error("central directory size is off");
    return archive;
}

ProbeBlock ProbeLauncher(const std::string& bytes) {
    ProbeBlock block;
    // Put together at run time: no program image carries the marker.
    static volatile char a = 0x0B, b = static_cast<char>(0xAF);
    const std::string marker = std::string(2, a) + std::string(2, b) + std::string(2, a);
    block.markerOffset = bytes.find(marker, 100000);
    if (block.markerOffset == std::string::npos) return block;
    block.length = Get32(bytes, block.markerOffset + 6);
    block.text = bytes.substr(block.markerOffset + 10, block.length);
    block.archiveOffset = block.markerOffset + 10 + block.length;
    return block;
}

}  // namespace packtest
