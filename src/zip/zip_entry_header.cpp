#include "zip/zip_entry_header.h"

#include <cstring>

#include "zip/zip_entry_name.h"
#include "zip/zip_host.h"
#include "zip/zip_name_text.h"
#include "zip/zip_store.h"

namespace {
inline uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads `length` bytes at once into `buffer` (emptied when `length` is 0).
void ReadPart(CZipStore* store, CZipBuffer& buffer, uint32_t length) {
  buffer.Allocate(length, false);
  if (length) store->Read(buffer.data, length, true);
}
}  // namespace

bool CZipEntryHeader::ReadCentral(CZipStore* store) {
  unsigned char h[46];
  store->Read(h, 46, true);
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
  uint16_t nameLength = Get16(h + 28);
  uint16_t extraLength = Get16(h + 30);
  uint16_t commentLength = Get16(h + 32);
  diskStart = Get16(h + 34);
  internalAttributes = Get16(h + 36);
  externalAttributes = Get32(h + 38);
  localHeaderOffset = Get32(h + 42);
  if (signature != 0x02014B50) return false;

  int disk = store->currentDisk;
  ReadPart(store, name, nameLength);
  ReadPart(store, extraField, extraLength);
  ReadPart(store, comment, commentLength);
  return store->currentDisk == disk;
}

bool CZipEntryHeader::MatchLocal(CZipStore* store, uint16_t& extraLength) {
  unsigned char h[30];
  store->Read(h, 30, true);
  if (Get32(h) != 0x04034B50) return false;
  uint16_t localFlags = Get16(h + 6);
  if ((localFlags & 0xF) != (flags & 0xF)) return false;
  uint16_t localMethod = Get16(h + 8);
  if (localMethod != method) return false;
  if (localMethod != 0 && localMethod != 8) return false;
  uint16_t nameLength = Get16(h + 26);
  if (nameLength != name.size) {
    // The name may have changed length in the code-page conversion; the
    // local length is then compared with the length as stored.
    if (nameLength != storedNameLength) return false;
  }
  if ((localFlags & 8) == 0) {
    if (Get32(h + 14) != crc32 || Get32(h + 18) != compressedSize ||
        Get32(h + 22) != uncompressedSize)
      return false;
  }
  extraLength = Get16(h + 28);
  store->file->Seek(nameLength, 1);
  return true;
}

bool CZipEntryHeader::MatchDescriptor(const unsigned char* d) const {
  return Get32(d) == crc32 && Get32(d + 4) == compressedSize &&
         Get32(d + 8) == uncompressedSize;
}

std::string CZipEntryHeader::UnsupportedReason() const {
  // Method 99 marks AES; flag bit 6 marks the strong encryption method.
  if (method == 99 || (IsEncrypted() && (flags & 0x40)))
    return "strong or AES encryption is not supported";
  if (method != 0 && method != 8)
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
      if (externalAttributes == 0 && NameEndsWithSeparator()) {
        dos = DefaultFolderAttributes;
      } else if (host == 3) {
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
