// The version resource (VS_VERSIONINFO): a tree of keyed nodes whose root
// carries the fixed file information and whose StringFileInfo tables carry
// the version strings.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kvpack {

struct VersionNode {
    std::u16string key;
    uint16_t type = 0;      // 1: the value is text, 0: bytes
    std::string value;      // as stored (text: UTF-16LE with its terminating zero)
    std::vector<VersionNode> children;
};

// The keys --version-info accepts.
const std::vector<std::string>& VersionStringKeys();

// Reads a version resource; throws CPackError when it is damaged.
VersionNode ReadVersionInfo(const std::string& data);
std::string WriteVersionInfo(const VersionNode& root);

// Sets the strings in every string table, adding keys the table lacks;
// FileVersion and ProductVersion that are one to four dotted numbers up to
// 65535 also set the fixed file and product versions.
void SetVersionStrings(VersionNode& root, const std::vector<std::pair<std::string, std::u16string>>& strings);

// The strings of the first string table (UTF-8), in stored order, and the
// fixed file version as "a.b.c.d".
std::vector<std::pair<std::string, std::string>> VersionStrings(const VersionNode& root);
std::string FixedFileVersion(const VersionNode& root);

// UTF-8 to UTF-16 and back; throws CPackError for bytes that are not UTF-8.
std::u16string Utf16FromUtf8(const std::string& text);
std::string Utf8FromUtf16(const std::u16string& text);

}  // namespace kvpack
