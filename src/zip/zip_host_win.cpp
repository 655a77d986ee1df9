#include "zip/zip_host.h"

#include <windows.h>

#include <cctype>

#include "zip/zip_buffer.h"
#include "zip/zip_name_text.h"

namespace ZipHost {

const char Separator = '\\';

void ConvertSeparators(CZipBuffer& name) {
  for (uint32_t i = 0; i < name.size; ++i)
    if (name.data[i] == '/') name.data[i] = Separator;
}

bool CanUseName(const std::string& name, bool wellFormed, bool) {
  return wellFormed && (GetACP() == CP_UTF8 || ZipText::IsAscii(name.data(), name.size()));
}

uint32_t FinishAttributes(uint32_t dosAttributes, int, uint32_t, bool) {
  return dosAttributes;
}

bool IsAbsoluteName(const std::string&) {
  // Drive letters and UNC prefixes are dropped when the target path is built.
  return false;
}

bool IsRefusedComponent(const std::string& component) {
  // "a:b" writes the stream b of a; Windows drops a trailing dot or blank,
  // so "a." would become another entry's "a".
  if (component.find(':') != std::string::npos) return true;
  const char last = component.back();
  if (last == '.' || last == ' ') return true;
  // Device names open the device, also with an extension ("nul.txt").
  std::string stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (stem == device) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

time_t LocalTimeToCalendar(struct tm& local) { return mktime(&local); }

}  // namespace ZipHost
