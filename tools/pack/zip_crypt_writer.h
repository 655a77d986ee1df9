// Traditional PKWARE encryption of entry data (the write-side mirror of the
// reader's decryption): three keys driven by the plain bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvpack {

// The password that the launcher sets before each entry when UsePW is non-zero.
extern const char LauncherArchivePassword[];

constexpr size_t EncryptionHeaderSize = 12;

class CZipCryptWriter {
public:
    // Keys from password.
    void Init(const std::string& password);
    // Encrypts a 12-byte header in place: the first 11 bytes are taken as
    // given (random), the last is replaced by checkByte before encryption.
    void EncryptHeader(unsigned char header[EncryptionHeaderSize], unsigned char checkByte);
    // Encrypts count bytes in place, continuing the key stream.
    void Encrypt(unsigned char* data, size_t count);

private:
    void Update(unsigned char plain);
    uint32_t key0_ = 0, key1_ = 0, key2_ = 0;
    const uint32_t* table_ = nullptr;
};

}  // namespace kvpack
