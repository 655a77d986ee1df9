#include "pack_test_util.h"

#include <algorithm>

#include "pack_fs.h"

namespace packtest {

std::string FakeStub(size_t size) {
    std::string stub(size, '\0');
    for (size_t i = 0; i < size; ++i) stub[i] = static_cast<char>("MZstub-"[i % 7]);
    return stub;
}

std::string NoiseBytes(size_t size, unsigned seed) {
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x >> 11);
    }
    return out;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names = kvpack::ListFolder(folder);
    std::sort(names.begin(), names.end());
    return names;
}

kvpack::PackResult Pack(const kvpack::PackOptions& options, std::vector<std::string>* warnings) {
    return kvpack::BuildLauncher(options, [warnings](const std::string& w) {
        if (warnings) warnings->push_back(w);
    });
}

}  // namespace packtest
