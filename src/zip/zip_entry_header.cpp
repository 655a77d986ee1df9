#include "zip/zip_entry_header.h"

#include <cstring>

#include "zip/zip_entry_name.h"
#include "zip/zip_fields.h"
#include "zip/zip_host.h"
#include "zip/zip_lzma_decoder.h"
#include "zip/zip_name_text.h"
#include "zip/zip_store.h"

using ZipField::Get16;
using ZipField::Get32;
using ZipField::Get64;

namespace {

constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kMarker16 = 0xFFFF;

// Takes the Zip64 field's values, in the order uncompressed size, compressed
// size, local header offset, disk, for those of `fields` whose 32-bit value
// (16-bit for the disk) is the marker; `all` takes both sizes whenever the
// field has room for them (a local header's Zip64 field always holds both).
// False when the field is missing or lacks a marked value while a value is
// marked; a field without marked values is not needed.
bool TakeZip64Values(const unsigned char* extra, uint32_t extraSize, uint64_t* fields[3], uint32_t* disk,
                     bool all) {
  bool marked[4];
  bool anyMarked = false;
  for (int i = 0; i < 3; ++i) anyMarked |= marked[i] = fields[i] && *fields[i] == kMarker32;
  marked[3] = disk && *disk == kMarker16;
  anyMarked |= marked[3];
  if (!anyMarked) return true;
  const unsigned char* body;
  uint32_t length;
  if (!ZipField::FindExtraBlock(extra, extraSize, Zip64FieldId, body, length)) return false;
  if (all && length >= 16) marked[0] = marked[1] = true;
  uint32_t at = 0;
  for (int i = 0; i < 3; ++i) {
    if (!marked[i]) continue;
    if (length - at < 8) return false;
    *fields[i] = Get64(body + at);
    at += 8;
  }
  if (marked[3]) {
    if (length - at < 4) return false;
    *disk = Get32(body + at);
  }
  return true;
}

}  // namespace

uint32_t CZipEntryHeader::CentralRecordSize(const unsigned char* fixed) {
  return 46u + Get16(fixed + 28) + Get16(fixed + 30) + Get16(fixed + 32);
}

bool CZipEntryHeader::ParseCentral(const unsigned char* h, bool withVariableParts) {
  signature = Get32(h);
  versionMadeBy = Get16(h + 4);
  versionNeeded = Get16(h + 6);
  flags = Get16(h + 8);
  method = Get16(h + 10);
  modTime = Get16(h + 12);
  modDate = Get16(h + 14);
  crc32 = Get32(h + 16);
  compressedSize = Get32(h + 20);
  uncompressedSize = Get32(h + 24);
  const uint16_t nameLength = Get16(h + 28);
  const uint16_t extraLength = Get16(h + 30);
  const uint16_t commentLength = Get16(h + 32);
  diskStart = Get16(h + 34);
  internalAttributes = Get16(h + 36);
  externalAttributes = Get32(h + 38);
  localHeaderOffset = Get32(h + 42);
  if (signature != 0x02014B50) return false;

  const unsigned char* extra = h + 46 + nameLength;
  uint64_t* fields[3] = {&uncompressedSize, &compressedSize, &localHeaderOffset};
  if (!TakeZip64Values(extra, extraLength, fields, &diskStart, false)) return false;
  if (withVariableParts) {
    name.Assign(h + 46, nameLength);
    extraField.Assign(extra, extraLength);
    comment.Assign(extra + extraLength, commentLength);
  }
  return true;
}

bool CZipEntryHeader::MatchLocal(CZipStore* store, CZipBuffer& localExtra, bool& zip64) {
  unsigned char h[LocalFixedSize];
  store->Read(h, LocalFixedSize, true);
  if (Get32(h) != 0x04034B50) return false;
  uint16_t localFlags = Get16(h + 6);
  if ((localFlags & 0xF) != (flags & 0xF)) return false;
  uint16_t localMethod = Get16(h + 8);
  if (localMethod != method) return false;
  if (!IsReadableMethod(localMethod)) return false;
  uint16_t nameLength = Get16(h + 26);
  if (nameLength != name.size) {
    // The name may have changed length in the code-page conversion; the
    // local length is then compared with the length as stored.
    if (nameLength != storedNameLength) return false;
  }
  store->file->Seek(nameLength, 1);
  const uint16_t extraLength = Get16(h + 28);
  localExtra.Allocate(extraLength, false);
  if (extraLength) store->Read(localExtra.data, extraLength, true);
  const auto* extra = reinterpret_cast<const unsigned char*>(localExtra.data);
  const unsigned char* body;
  uint32_t bodyLength;
  zip64 = ZipField::FindExtraBlock(extra, extraLength, Zip64FieldId, body, bodyLength);
  if ((localFlags & 8) == 0) {
    uint64_t localUncompressed = Get32(h + 22);
    uint64_t localCompressed = Get32(h + 18);
    uint64_t* fields[3] = {&localUncompressed, &localCompressed, nullptr};
    if (!TakeZip64Values(extra, extraLength, fields, nullptr, true)) return false;
    if (Get32(h + 14) != crc32 || localCompressed != compressedSize || localUncompressed != uncompressedSize)
      return false;
  }
  return true;
}

bool CZipEntryHeader::MatchDescriptor(const unsigned char* d, bool zip64) const {
  if (Get32(d) != crc32) return false;
  if (zip64) return Get64(d + 4) == compressedSize && Get64(d + 12) == uncompressedSize;
  return Get32(d + 4) == compressedSize && Get32(d + 8) == uncompressedSize;
}

bool CZipEntryHeader::IsReadableMethod(uint16_t method) {
  return method == 0 || method == 8 || CZipLzmaDecoder::Handles(method);
}

std::string CZipEntryHeader::UnsupportedReason() const {
  // Method 99 marks AES; flag bit 6 marks the strong encryption method.
  if (method == 99 || (IsEncrypted() && (flags & 0x40)))
    return "strong or AES encryption is not supported";
  if (!IsReadableMethod(method))
    return "compression method " + std::to_string(method) + " is not supported";
  return std::string();
}

std::string CZipEntryHeader::GetName() const {
  return name.size ? std::string(reinterpret_cast<const char*>(name.data), name.size)
                   : std::string();
}

time_t CZipEntryHeader::GetModTime() const {
  struct tm t;
  std::memset(&t, 0, sizeof t);
  t.tm_sec = (modTime & 0x1F) * 2;
  t.tm_min = (modTime >> 5) & 0x3F;
  t.tm_hour = modTime >> 11;
  t.tm_mday = modDate & 0x1F;
  t.tm_mon = ((modDate >> 5) & 0x0F) - 1;
  t.tm_year = (modDate >> 9) + 80;
  t.tm_isdst = -1;
  return ZipHost::LocalTimeToCalendar(t);
}

bool CZipEntryHeader::NameEndsWithSeparator() const {
  if (!name.size) return false;
  char last = static_cast<char>(name.data[name.size - 1]);
  return last == '\\' || last == '/';
}

uint32_t CZipEntryHeader::GetLocalAttributes() const {
  int host = HostSystem();
  uint32_t dos;
  switch (host) {
    case 0:
    case 3:
    case 6:
    case 7:
    case 10:
      if (host == 3) {
        uint32_t a = externalAttributes;
        dos = 0;
        if (a & 0x40000000) dos |= 0x10;
        if (!(a & 0x00400000)) dos |= 0x20;
        if (!(a & 0x00800000)) dos |= 0x01;
        if (!(a & 0x01000000)) dos |= 0x02;
      } else if (host == 7) {
        dos = externalAttributes & 0x11;
      } else {
        dos = externalAttributes;
      }
      // A folder named by its trailing separator gets a folder's attributes
      // when its own say nothing of a folder.
      if (NameEndsWithSeparator() && !(dos & 0x10))
        return ZipHost::FinishAttributes(DefaultFolderAttributes, host, 0, true);
      return ZipHost::FinishAttributes(dos, host, externalAttributes, true);
    default:
      dos = NameEndsWithSeparator() ? DefaultFolderAttributes : DefaultFileAttributes;
      return ZipHost::FinishAttributes(dos, host, externalAttributes, false);
  }
}

std::string CZipEntryHeader::GetDisplayName() const {
  return ZipText::ForDisplay(name.data, name.size);
}

void CZipEntryHeader::ConvertNameForPlatform() {
  storedNameLength = static_cast<uint16_t>(name.size);
  const CZipDecodedName decoded = DecodeEntryName(name, flags, HostSystem(), extraField);
  nameUsable = ZipHost::CanUseName(decoded.text, decoded.wellFormed, decoded.declaredUtf8);
  name.Assign(decoded.text.data(), static_cast<uint32_t>(decoded.text.size()));
  ZipHost::ConvertSeparators(name);
}
