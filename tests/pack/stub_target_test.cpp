// Target names and the target read from a stub's executable header.
#include <gtest/gtest.h>

#include <string>

#include "stub_target.h"

using namespace kvpack;

namespace {

std::string Elf(char elfClass, char byteOrder, unsigned machine) {
    std::string head("\x7f" "ELF", 4);
    head += elfClass;
    head += byteOrder;
    head.resize(18, '\0');
    head += static_cast<char>(machine & 0xFF);
    head += static_cast<char>(machine >> 8);
    head.resize(64, '\0');
    return head;
}

std::string Pe(unsigned machine, unsigned peAt = 0x80) {
    std::string head = "MZ";
    head.resize(0x3C, '\0');
    for (int i = 0; i < 4; ++i) head += static_cast<char>((peAt >> (8 * i)) & 0xFF);
    head.resize(peAt, '\0');
    head += std::string("PE\0\0", 4);
    head += static_cast<char>(machine & 0xFF);
    head += static_cast<char>(machine >> 8);
    head.resize(peAt + 64, '\0');
    return head;
}

}  // namespace

TEST(StubTarget, NamesAndFiles) {
    const struct {
        const char* name;
        const char* canonical;  // nullptr: refused
        const char* file;
    } cases[] = {
        {"linux", "linux-x86_64", "kvsfx"},
        {"linux-x86_64", "linux-x86_64", "kvsfx"},
        {"linux-arm64", "linux-arm64", "kvsfx-linux-arm64"},
        {"windows", "windows", "kvsfx.exe"},
        {"linux-aarch64", nullptr, nullptr},
        {"Linux", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StubTarget* target = FindTarget(c.name);
        if (!c.canonical) {
            EXPECT_EQ(target, nullptr);
            continue;
        }
        ASSERT_NE(target, nullptr);
        EXPECT_STREQ(target->name, c.canonical);
        EXPECT_STREQ(target->stubFile, c.file);
    }
    // The default is one of the targets, found again by its own name.
    EXPECT_EQ(FindTarget(HostTarget().name), &HostTarget());
}

TEST(StubTarget, ReadFromTheHeader) {
    const struct {
        const char* what;
        std::string head;
        bool recognised;
        const char* target;
        const char* description;
    } cases[] = {
        {"x86-64 ELF", Elf(2, 1, 0x3E), true, "linux-x86_64", "linux-x86_64 (ELF, x86-64)"},
        {"aarch64 ELF", Elf(2, 1, 0xB7), true, "linux-arm64", "linux-arm64 (ELF, aarch64)"},
        {"32-bit ARM ELF", Elf(1, 1, 0x28), true, "", "ELF, not 64-bit little-endian: no kvsfx target"},
        {"big-endian ELF", Elf(2, 2, 0xB7), true, "", "ELF, not 64-bit little-endian: no kvsfx target"},
        {"RISC-V ELF", Elf(2, 1, 0xF3), true, "", "ELF, machine 0xf3: no kvsfx target"},
        {"cut ELF", std::string("\x7f" "ELF\x02\x01", 6), true, "", "ELF, not 64-bit little-endian: no kvsfx target"},
        {"i386 PE", Pe(0x14C), true, "windows", "windows (PE, i386)"},
        {"x86-64 PE", Pe(0x8664), true, "windows", "windows (PE, x86-64)"},
        {"ARM64 PE", Pe(0xAA64), true, "", "PE, machine 0xaa64: no kvsfx target"},
        {"PE offset past the end", Pe(0x14C).substr(0, 0x82), true, "", "MZ header without a PE image: no kvsfx target"},
        {"PE offset far out", Pe(0x14C).substr(0, 0x3C) + std::string("\xF0\xFF\xFF\xFF", 4), true, "",
         "MZ header without a PE image: no kvsfx target"},
        {"bare MZ", "MZ", true, "", "MZ header without a PE image: no kvsfx target"},
        {"text", "LINUXSTUB", false, "", ""},
        {"nothing", "", false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ImageTarget found = ReadImageTarget(c.head);
        EXPECT_EQ(found.recognised, c.recognised);
        EXPECT_EQ(found.target, c.target);
        EXPECT_EQ(found.description, c.description);
    }
}
