// Traditional PKWARE encryption of entry data (the write-side mirror of the
// reader's decryption): three keys driven by the plain bytes.
#pragma once

#include <cstddef>
#include <string>

#include "zip/zip_crypt.h"

namespace kvpack {

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
    CZipCryptKeys keys_;
};

}  // namespace kvpack
