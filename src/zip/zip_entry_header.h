#pragma once
// One archive entry's record: filled from its central-directory header,
// checked against its local header and data descriptor when it is read.

#include <cstdint>
#include <ctime>
#include <string>

#include "zip/zip_buffer.h"

class CZipStore;

// The extra field block that holds 64-bit sizes, offset and disk.
constexpr uint16_t Zip64FieldId = 0x0001;

class CZipEntryHeader {
 public:
  // Attributes for an entry whose host attributes cannot be interpreted:
  // Unix type and mode in the upper half, MS-DOS attribute bits in the lower.
  static constexpr uint32_t DefaultFileAttributes = 0x81A40020;
  static constexpr uint32_t DefaultFolderAttributes = 0x41FF0010;
  // Host system code that the attribute translation targets.
  static constexpr int PlatformHostSystem = 0;

  CZipEntryHeader() = default;
  CZipEntryHeader(const CZipEntryHeader&) = default;
  CZipEntryHeader& operator=(const CZipEntryHeader&) = default;
  virtual ~CZipEntryHeader() = default;

  // Bytes of the central record whose 46 fixed bytes are at `fixed`.
  static uint32_t CentralRecordSize(const unsigned char* fixed);
  // Fills the record from a whole central record in memory; the name, extra
  // field and comment are kept only when `withVariableParts`. Sizes, offset
  // and disk marked 0xFFFFFFFF (0xFFFF) come from the Zip64 field. False
  // when the signature is wrong or the Zip64 field lacks a marked value.
  bool ParseCentral(const unsigned char* record, bool withVariableParts);
  // Reads the local header at the storage's position and its extra field
  // (into `localExtra`) and checks them against this record; `zip64` tells
  // whether the local header has a Zip64 field (its data descriptor then
  // holds 64-bit sizes). False on any disagreement.
  bool MatchLocal(CZipStore* store, CZipBuffer& localExtra, bool& zip64);
  // Compares CRC-32, compressed and uncompressed size of a data descriptor
  // (the bytes after its optional signature; 64-bit sizes when `zip64`).
  bool MatchDescriptor(const unsigned char* fields, bool zip64) const;
  // Length of a data descriptor's fields without the signature.
  static uint32_t DescriptorSize(bool zip64) { return zip64 ? 20 : 12; }

  std::string GetName() const;
  time_t GetModTime() const;
  uint32_t GetLocalAttributes() const;
  // A name ending in a separator names a folder, whatever the attributes say.
  bool IsFolder() const { return NameEndsWithSeparator() || (GetLocalAttributes() & 0x10) != 0; }
  int HostSystem() const { return versionMadeBy >> 8; }
  bool IsEncrypted() const { return (flags & 1) != 0; }
  // Why the reader cannot extract this entry ("" when it can): a compression
  // method other than stored, deflated, LZMA (14) and XZ (95), or strong or
  // AES encryption.
  std::string UnsupportedReason() const;
  static bool IsReadableMethod(uint16_t method);

  // Decodes the stored name to UTF-8 (zip_entry_name.h) with this
  // platform's separators.
  void ConvertNameForPlatform();
  // False when the name cannot be used for a file: the archive declares it
  // UTF-8 but it is not, or this platform cannot use it (zip_host.h).
  bool HasUsableName() const { return nameUsable; }
  // The name for messages: bytes that are not UTF-8 shown as \xNN.
  std::string GetDisplayName() const;

  // A local header's fixed part, before its name and extra field.
  static constexpr uint32_t LocalFixedSize = 30;
  uint32_t LocalHeaderSize() const { return LocalFixedSize + name.size + extraField.size; }
  uint32_t CentralHeaderSize() const {
    return 46 + name.size + extraField.size + comment.size;
  }

  uint32_t signature = 0;
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 8;
  uint16_t modTime = 0;
  uint16_t modDate = 0;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint32_t diskStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint64_t localHeaderOffset = 0;
  CZipBuffer extraField;
  CZipBuffer name;
  CZipBuffer comment;

 private:
  bool NameEndsWithSeparator() const;
  // Length of the name as stored in the archive (before conversion).
  uint16_t storedNameLength = 0;
  bool nameUsable = true;
};
