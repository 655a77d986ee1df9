#pragma once
// Traditional PKWARE encryption keys and the in-place decryption (and, for
// archive writers, encryption) of entry data.
// The key state is carried from one buffer to the next, so an entry's bytes
// must pass through DecryptBuffer exactly once and in file order.

#include <cstddef>
#include <cstdint>

class CZipCryptKeys {
 public:
  CZipCryptKeys();

  // Keys from the password bytes (none: the three start values).
  void InitKeys(const unsigned char* password, size_t length);
  void UpdateKeys(unsigned char plain);
  unsigned char KeyStreamByte() const;
  unsigned char DecryptByte(unsigned char cipher);

  // Decrypts `count` bytes in place; this is the hot loop of an encrypted
  // extraction, so the keys live in locals and the CRC step is a table lookup.
  void DecryptBuffer(unsigned char* data, size_t count);
  // Decrypts the buffers of up to MaxLanes independent entries at once, each
  // with its own keys: one entry's key chain is a single long dependency, so
  // a processor that works through several chains side by side does two to
  // three times the bytes in the same time.
  static constexpr unsigned MaxLanes = 4;
  static void DecryptLanes(CZipCryptKeys* const keys[], unsigned char* const data[], const size_t counts[],
                           unsigned lanes);
  // The same for the writing side: encrypts `count` bytes in place.
  void EncryptBuffer(unsigned char* data, size_t count);

  uint32_t key0 = 0x12345678;
  uint32_t key1 = 0x23456789;
  uint32_t key2 = 0x34567890;

 private:
  const uint32_t* table_;  // zlib's CRC-32 table
};
