#include "stub_target.h"

#include <cstdint>
#include <cstdio>

namespace kvpack {

namespace {

const StubTarget kLinuxX64{"linux-x86_64", "kvsfx"};
const StubTarget kLinuxArm64{"linux-arm64", "kvsfx-linux-arm64"};
const StubTarget kWindows{"windows", "kvsfx.exe"};

constexpr uint16_t kElfX86_64 = 0x3E, kElfAarch64 = 0xB7;
constexpr uint16_t kPeI386 = 0x14C, kPeAmd64 = 0x8664;

uint32_t Little(const std::string& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

ImageTarget Elf(const std::string& head) {
    ImageTarget found;
    found.recognised = true;
    // Class (64-bit), byte order (little-endian), then e_machine at offset 18.
    if (head.size() < 20 || head[4] != 2 || head[5] != 1) {
        found.description = "ELF, not 64-bit little-endian: no kvsfx target";
        return found;
    }
    const uint32_t machine = Little(head, 18, 2);
    if (machine == kElfX86_64) {
        found.target = kLinuxX64.name;
        found.description = "linux-x86_64 (ELF, x86-64)";
    } else if (machine == kElfAarch64) {
        found.target = kLinuxArm64.name;
        found.description = "linux-arm64 (ELF, aarch64)";
    } else {
        found.description = "ELF, machine " + Hex(machine) + ": no kvsfx target";
    }
    return found;
}

ImageTarget Pe(const std::string& head) {
    ImageTarget found;
    found.recognised = true;
    const uint32_t pe = head.size() >= 0x40 ? Little(head, 0x3C, 4) : UINT32_MAX;
    if (pe > head.size() || head.size() - pe < 6 || head.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        found.description = "MZ header without a PE image: no kvsfx target";
        return found;
    }
    const uint32_t machine = Little(head, pe + 4, 2);
    if (machine == kPeI386 || machine == kPeAmd64) {
        found.target = kWindows.name;
        found.description = machine == kPeI386 ? "windows (PE, i386)" : "windows (PE, x86-64)";
    } else {
        found.description = "PE, machine " + Hex(machine) + ": no kvsfx target";
    }
    return found;
}

}  // namespace

const StubTarget* FindTarget(const std::string& name) {
    if (name == "linux" || name == kLinuxX64.name) return &kLinuxX64;
    if (name == kLinuxArm64.name) return &kLinuxArm64;
    if (name == kWindows.name) return &kWindows;
    return nullptr;
}

const StubTarget& HostTarget() {
#if defined(_WIN32)
    return kWindows;
#elif defined(__aarch64__)
    return kLinuxArm64;
#else
    return kLinuxX64;
#endif
}

const char* TargetNames() { return "linux (or linux-x86_64), linux-arm64, windows"; }

ImageTarget ReadImageTarget(const std::string& head) {
    if (head.compare(0, 4, "\x7f" "ELF") == 0) return Elf(head);
    if (head.compare(0, 2, "MZ") == 0) return Pe(head);
    return ImageTarget();
}

}  // namespace kvpack
