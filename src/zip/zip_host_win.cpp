#include "zip/zip_host.h"

#include "zip/zip_buffer.h"
#include "zip/zip_fs.h"

namespace ZipHost {

const char Separator = '\\';

void ConvertName(CZipBuffer& name, int hostSystem) {
  for (uint32_t i = 0; i < name.size; ++i)
    if (name.data[i] == '/') name.data[i] = '\\';
  if (hostSystem == 0) ZipFs::AnsiOem(name, false);
}

uint32_t FinishAttributes(uint32_t dosAttributes, int, uint32_t, bool) {
  return dosAttributes;
}

bool IsAbsoluteName(const std::string&) {
  // Drive letters and UNC prefixes are dropped when the target path is built.
  return false;
}

}  // namespace ZipHost
