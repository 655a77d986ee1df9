// Writes the input behind a filler of kPrefix bytes into a launcher file,
// reads the data block back and parses the configuration. The filler puts
// the first input bytes just before the search window (offset 100000), so
// that markers on both sides of its start are explored.
#include "framework/message_box.h"
#include "launcher/configuration.h"
#include "launcher/data_block.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kPrefix = 99990;

int QuietBox(const std::string&, const std::string&, unsigned) { return 1; }

std::string ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir && *dir ? dir : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    return folder + "/kvsfx-fuzz-config-" + std::to_string(getpid()) + ".bin";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = ScratchFile();
    static const std::string filler(kPrefix, 'M');
    SetMessageBoxHook(QuietBox);

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(filler.data(), 1, filler.size(), file);
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);

    const std::string text = ReadDataBlock(path);
    if (text.size() > DataBlockMaxText || text.find('\0') != std::string::npos) std::abort();
    const LauncherConfig config = ParseConfiguration(text);
    (void)ConfigInteger(config.title);
    std::remove(path.c_str());
    return 0;
}
