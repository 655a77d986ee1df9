#include "zip_crypt_writer.h"

#include <zlib.h>

namespace kvpack {

const char LauncherArchivePassword[] = "Tq5HwR27_81m6_3yk52";

void CZipCryptWriter::Init(const std::string& password) {
    table_ = reinterpret_cast<const uint32_t*>(get_crc_table());
    key0_ = 0x12345678;
    key1_ = 0x23456789;
    key2_ = 0x34567890;
    for (unsigned char c : password) Update(c);
}

void CZipCryptWriter::Update(unsigned char plain) {
    key0_ = (key0_ >> 8) ^ table_[(key0_ ^ plain) & 0xFF];
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = (key2_ >> 8) ^ table_[(key2_ ^ (key1_ >> 24)) & 0xFF];
}

void CZipCryptWriter::EncryptHeader(unsigned char header[EncryptionHeaderSize], unsigned char checkByte) {
    header[EncryptionHeaderSize - 1] = checkByte;
    Encrypt(header, EncryptionHeaderSize);
}

void CZipCryptWriter::Encrypt(unsigned char* data, size_t count) {
    // Local copies keep the keys in registers through the serial chain.
    uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
    const uint32_t* table = table_;
    for (size_t i = 0; i < count; ++i) {
        uint32_t t = (k2 & 0xFFFF) | 2;
        unsigned char plain = data[i];
        data[i] = static_cast<unsigned char>(plain ^ (((t * (t ^ 1)) >> 8) & 0xFF));
        k0 = (k0 >> 8) ^ table[(k0 ^ plain) & 0xFF];
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = (k2 >> 8) ^ table[(k2 ^ (k1 >> 24)) & 0xFF];
    }
    key0_ = k0;
    key1_ = k1;
    key2_ = k2;
}

}  // namespace kvpack
