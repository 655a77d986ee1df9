#include "zip/zip_crypt.h"

#include <zlib.h>

#include <algorithm>

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

namespace {

// `count` bytes of each of `L` lanes, the lanes' steps interleaved.
template <unsigned L>
void DecryptInterleaved(CZipCryptKeys* const keys[], unsigned char* const data[], size_t count,
                        const uint32_t* table) {
  uint32_t k0[L], k1[L], k2[L];
  for (unsigned l = 0; l < L; ++l) {
    k0[l] = keys[l]->key0;
    k1[l] = keys[l]->key1;
    k2[l] = keys[l]->key2;
  }
  for (size_t i = 0; i < count; ++i) {
    for (unsigned l = 0; l < L; ++l) {
      const uint32_t t = (k2[l] & 0xFFFF) | 2;
      const uint32_t plain = (data[l][i] ^ ((t * (t ^ 1)) >> 8)) & 0xFF;
      data[l][i] = static_cast<unsigned char>(plain);
      // CrcStep written out: at -Os the call would stay a call.
      k0[l] = (k0[l] >> 8) ^ table[(k0[l] ^ plain) & 0xFF];
      k1[l] = (k1[l] + (k0[l] & 0xFF)) * 134775813u + 1u;
      k2[l] = (k2[l] >> 8) ^ table[(k2[l] ^ (k1[l] >> 24)) & 0xFF];
    }
  }
  for (unsigned l = 0; l < L; ++l) {
    keys[l]->key0 = k0[l];
    keys[l]->key1 = k1[l];
    keys[l]->key2 = k2[l];
  }
}

}  // namespace

void CZipCryptKeys::DecryptLanes(CZipCryptKeys* const keys[], unsigned char* const data[], const size_t counts[],
                                 unsigned lanes) {
  size_t done = 0;
  for (;;) {
    // The lanes with bytes left beyond `done`, and how far all of them go.
    CZipCryptKeys* liveKeys[MaxLanes];
    unsigned char* liveData[MaxLanes];
    unsigned live = 0;
    size_t step = 0;
    for (unsigned l = 0; l < lanes && l < MaxLanes; ++l) {
      if (counts[l] <= done) continue;
      liveKeys[live] = keys[l];
      liveData[live] = data[l] + done;
      step = live == 0 ? counts[l] - done : std::min(step, counts[l] - done);
      ++live;
    }
    switch (live) {
      case 0: return;
      case 1: liveKeys[0]->DecryptBuffer(liveData[0], step); break;
      case 2: DecryptInterleaved<2>(liveKeys, liveData, step, liveKeys[0]->table_); break;
      case 3: DecryptInterleaved<3>(liveKeys, liveData, step, liveKeys[0]->table_); break;
      default: DecryptInterleaved<4>(liveKeys, liveData, step, liveKeys[0]->table_); break;
    }
    done += step;
  }
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
