#include "zip/zip_crypt.h"

#include <zlib.h>

namespace {
inline uint32_t CrcStep(const uint32_t* table, uint32_t x, uint32_t b) {
  return (x >> 8) ^ table[(x ^ b) & 0xFF];
}
}  // namespace

CZipCryptKeys::CZipCryptKeys()
    : table_(reinterpret_cast<const uint32_t*>(get_crc_table())) {}

void CZipCryptKeys::InitKeys(const unsigned char* password, size_t length) {
  key0 = 0x12345678;
  key1 = 0x23456789;
  key2 = 0x34567890;
  for (size_t i = 0; i < length; ++i) UpdateKeys(password[i]);
}

void CZipCryptKeys::UpdateKeys(unsigned char plain) {
  key0 = CrcStep(table_, key0, plain);
  key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1u;
  key2 = CrcStep(table_, key2, key1 >> 24);
}

unsigned char CZipCryptKeys::KeyStreamByte() const {
  uint32_t t = (key2 & 0xFFFF) | 2;
  return static_cast<unsigned char>((t * (t ^ 1)) >> 8);
}

unsigned char CZipCryptKeys::DecryptByte(unsigned char cipher) {
  unsigned char plain = cipher ^ KeyStreamByte();
  UpdateKeys(plain);
  return plain;
}

void CZipCryptKeys::DecryptBuffer(unsigned char* data, size_t count) {
  const uint32_t* table = table_;
  uint32_t k0 = key0, k1 = key1, k2 = key2;
  for (unsigned char* p = data, *end = data + count; p != end; ++p) {
    uint32_t t = (k2 & 0xFFFF) | 2;
    uint32_t plain = (*p ^ ((t * (t ^ 1)) >> 8)) & 0xFF;
    *p = static_cast<unsigned char>(plain);
    k0 = (k0 >> 8) ^ table[(k0 ^ plain) & 0xFF];
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = (k2 >> 8) ^ table[(k2 ^ (k1 >> 24)) & 0xFF];
  }
  key0 = k0;
  key1 = k1;
  key2 = k2;
}

void CZipCryptKeys::EncryptBuffer(unsigned char* data, size_t count) {
  const uint32_t* table = table_;
  uint32_t k0 = key0, k1 = key1, k2 = key2;
  for (unsigned char* p = data, *end = data + count; p != end; ++p) {
    uint32_t t = (k2 & 0xFFFF) | 2;
    uint32_t plain = *p;
    *p = static_cast<unsigned char>(plain ^ ((t * (t ^ 1)) >> 8));
    k0 = (k0 >> 8) ^ table[(k0 ^ plain) & 0xFF];
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = (k2 >> 8) ^ table[(k2 ^ (k1 >> 24)) & 0xFF];
  }
  key0 = k0;
  key1 = k1;
  key2 = k2;
}
