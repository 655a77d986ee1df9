#include "zip/zip_host.h"

#include "zip/zip_buffer.h"

namespace ZipHost {

const char Separator = '/';

void ConvertSeparators(CZipBuffer& name) {
  for (uint32_t i = 0; i < name.size; ++i)
    if (name.data[i] == '\\') name.data[i] = Separator;
}

bool CanUseName(const std::string&, bool wellFormed, bool declaredUtf8) {
  return wellFormed || !declaredUtf8;
}

uint32_t FinishAttributes(uint32_t dosAttributes, int hostSystem, uint32_t external,
                          bool interpreted) {
  uint32_t mode = 0;
  if (hostSystem == 3 && interpreted) {
    uint32_t type = (external >> 16) & 0xF000;
    // Regular files and folders keep their mode; links and devices are made
    // ordinary files (their content is written as data).
    if (type == 0x4000 || type == 0x8000) mode = (external >> 16) & 0xFFFF;
  } else if (!interpreted) {
    return dosAttributes;  // the defaults already carry a mode
  }
  if (mode == 0) {
    mode = (dosAttributes & 0x10) ? 0x41ED : 0x81A4;  // 0755 folder, 0644 file
    if (dosAttributes & 0x01) mode &= ~0222u;
  }
  // Set-id and sticky bits are never given to extracted files.
  mode &= 0xF1FF;
  return (mode << 16) | (dosAttributes & 0xFFFF);
}

bool IsAbsoluteName(const std::string& name) {
  return !name.empty() && name[0] == '/';
}

bool IsRefusedComponent(const std::string&) {
  return false;  // every byte but '/' and zero is a name byte here
}

time_t LocalTimeToCalendar(struct tm& local) {
  // The time read as UTC, then moved by the zone's offset at that moment;
  // a second step settles times near a change of offset.
  struct tm asked = local;
  const time_t universal = timegm(&asked);
  if (universal == static_cast<time_t>(-1)) return mktime(&local);
  time_t guess = universal;
  for (int step = 0; step < 2; ++step) {
    struct tm there;
    if (!localtime_r(&guess, &there)) return mktime(&local);
    const time_t next = universal - there.tm_gmtoff;
    if (next == guess) break;
    guess = next;
  }
  localtime_r(&guess, &local);
  return guess;
}

}  // namespace ZipHost
