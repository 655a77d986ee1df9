// Solid payloads on arbitrary bytes, in the launcher's call sequence: the
// bytes (a tar stream that this target compresses, or, with the first byte
// odd, an .xz part as it is) stored as the archive's payload.tar.xz, the
// archive opened from a file, the payload's parts inspected, then extracted
// through the output tree into a fresh folder on one and on two workers;
// nothing may appear outside that folder.
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "framework/exception.h"
#include "fuzz_sandbox.h"
#include "solid/solid_member_writer.h"
#include "solid/solid_payload.h"
#include "zip/zip_output_tree.h"
#include "zip/zip_reader.h"

using fuzzsandbox::CountChildren;
using fuzzsandbox::RemoveTree;

namespace {

// Payloads that would write more than this are only inspected.
constexpr uint64_t kMaxPayload = 8u << 20;

// One .xz stream of one block whose header declares its sizes, as kvsfx-pack
// writes them (the multi-threaded encoder always does).
std::string Compress(const uint8_t* data, size_t size) {
  lzma_mt mt{};
  mt.threads = 1;
  mt.block_size = size ? size : 1;
  mt.preset = 0;
  mt.check = LZMA_CHECK_CRC32;
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_stream_encoder_mt(&s, &mt) != LZMA_OK) abort();
  std::string out(lzma_stream_buffer_bound(size), '\0');
  s.next_in = data;
  s.avail_in = size;
  s.next_out = reinterpret_cast<uint8_t*>(&out[0]);
  s.avail_out = out.size();
  if (lzma_code(&s, LZMA_FINISH) != LZMA_STREAM_END) abort();
  out.resize(out.size() - s.avail_out);
  lzma_end(&s);
  return out;
}

void Put16(std::string& s, unsigned v) { s += static_cast<char>(v), s += static_cast<char>(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }

// A ZIP archive of one stored entry.
std::string StoredZip(const std::string& name, const std::string& data) {
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  std::string zip;
  Put32(zip, 0x04034B50), Put16(zip, 20), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0x21);
  Put32(zip, crc), Put32(zip, static_cast<uint32_t>(data.size())), Put32(zip, static_cast<uint32_t>(data.size()));
  Put16(zip, static_cast<unsigned>(name.size())), Put16(zip, 0);
  zip += name + data;
  const uint32_t central = static_cast<uint32_t>(zip.size());
  Put32(zip, 0x02014B50), Put16(zip, 0x314), Put16(zip, 20), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0);
  Put16(zip, 0x21), Put32(zip, crc), Put32(zip, static_cast<uint32_t>(data.size()));
  Put32(zip, static_cast<uint32_t>(data.size())), Put16(zip, static_cast<unsigned>(name.size()));
  Put16(zip, 0), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0), Put32(zip, 0100644u << 16), Put32(zip, 0);
  zip += name;
  const uint32_t centralSize = static_cast<uint32_t>(zip.size()) - central;
  Put32(zip, 0x06054B50), Put16(zip, 0), Put16(zip, 0), Put16(zip, 1), Put16(zip, 1);
  Put32(zip, centralSize), Put32(zip, central), Put16(zip, 0);
  return zip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string sandbox = fuzzsandbox::Sandbox("fuzz_solid");
  const std::string levels[] = {sandbox, sandbox + "/1", sandbox + "/1/2"};
  const std::string target = levels[2] + "/t";
  RemoveTree(sandbox);
  for (const std::string& folder : {levels[0], levels[1], levels[2], target})
    if (mkdir(folder.c_str(), 0700) != 0) abort();
  const std::string part = (data[0] & 1) ? std::string(reinterpret_cast<const char*>(data + 1), size - 1)
                                         : Compress(data + 1, size - 1);
  const std::string archive = sandbox + "/archive.zip";
  {
    const std::string zip = StoredZip("payload.tar.xz", part);
    FILE* f = std::fopen(archive.c_str(), "wb");
    if (!f || std::fwrite(zip.data(), 1, zip.size(), f) != zip.size() || std::fclose(f) != 0) abort();
  }

  for (unsigned workers : {1u, 2u}) {
    CZipReader reader;
    CSolidPayload payload;
    try {
      reader.OpenArchive(archive, ModeOpenReadOnly, 0);
      payload.Open(reader, archive, "");
      reader.CloseArchive(0, false);
    } catch (CException* e) {
      e->Delete();
      reader.CloseArchive(1, false);
      break;
    }
    if (payload.TotalBytes() > kMaxPayload) break;
    CZipOutputTree tree;
    ExtractFailure failure;
    const auto maker = [&](int) { return std::make_unique<CSolidMemberWriter>(tree, target); };
    payload.Extract(maker, workers, nullptr, failure);
    if (failure.error) failure.error->Delete();
    tree.Reset();
  }

  // Each level holds only the next one (and the archive): nothing was
  // written outside the target.
  for (const std::string& level : levels) {
    if (CountChildren(level) != (level == sandbox ? 2 : 1)) {
      std::fprintf(stderr, "a member was written outside the target folder (%s)\n", level.c_str());
      abort();
    }
  }
  RemoveTree(sandbox);
  return 0;
}
