#include "zip_crypt_writer.h"

namespace kvpack {

void CZipCryptWriter::Init(const std::string& password) {
    keys_.InitKeys(reinterpret_cast<const unsigned char*>(password.data()), password.size());
}

void CZipCryptWriter::EncryptHeader(unsigned char header[EncryptionHeaderSize], unsigned char checkByte) {
    header[EncryptionHeaderSize - 1] = checkByte;
    Encrypt(header, EncryptionHeaderSize);
}

void CZipCryptWriter::Encrypt(unsigned char* data, size_t count) { keys_.EncryptBuffer(data, count); }

}  // namespace kvpack
