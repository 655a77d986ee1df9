#include "version_info.h"

#include "pack_error.h"
#include "pe_image.h"

namespace kvpack {

namespace {

constexpr size_t kFixedInfoSize = 52;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;

size_t Align4(size_t value) { return (value + 3) & ~size_t(3); }

[[noreturn]] void Damaged() { throw CPackError("the stub's version resource is damaged"); }

// Reads the node at `at` (4-aligned from the resource's start); returns its end.
size_t ReadNode(const std::string& data, size_t at, size_t limit, VersionNode& node, int depth) {
    if (depth > 8 || at + 6 > limit) Damaged();
    const size_t length = ReadLe16(data, at);
    const size_t valueLength = ReadLe16(data, at + 2);
    node.type = ReadLe16(data, at + 4);
    const size_t end = at + length;
    if (length < 6 || end > limit) Damaged();
    size_t pos = at + 6;
    for (;;) {
        if (pos + 2 > end) Damaged();
        const char16_t c = static_cast<char16_t>(ReadLe16(data, pos));
        pos += 2;
        if (c == 0) break;
        node.key += c;
    }
    pos = Align4(pos);
    const size_t valueBytes = node.type == 1 ? 2 * valueLength : valueLength;
    if (valueBytes > 0) {
        if (pos + valueBytes > end) Damaged();
        node.value = data.substr(pos, valueBytes);
        pos = Align4(pos + valueBytes);
    }
    while (pos < end) {
        VersionNode child;
        pos = Align4(ReadNode(data, pos, end, child, depth + 1));
        node.children.push_back(std::move(child));
    }
    return end;
}

// Text as stored: UTF-16LE with a terminating zero.
std::string TextValue(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out.append(2, '\0');
}

std::string WriteNode(const VersionNode& node) {
    std::string out(6, '\0');
    out += TextValue(node.key);
    out.resize(Align4(out.size()), '\0');
    out += node.value;
    for (const VersionNode& child : node.children) {
        out.resize(Align4(out.size()), '\0');
        out += WriteNode(child);
    }
    if (out.size() > 0xFFFF) throw CPackError("the version information is too long");
    WriteLe16(out, 0, static_cast<uint16_t>(out.size()));
    WriteLe16(out, 2, static_cast<uint16_t>(node.type == 1 ? node.value.size() / 2 : node.value.size()));
    WriteLe16(out, 4, node.type);
    return out;
}

std::u16string TextOf(const std::string& value) {
    std::u16string text;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(ReadLe16(value, i));
        if (c == 0) break;
        text += c;
    }
    return text;
}

// One to four dotted numbers up to 65535 as the two 32-bit halves.
bool DottedVersion(const std::string& text, uint32_t& high, uint32_t& low) {
    uint32_t parts[4] = {0, 0, 0, 0};
    size_t count = 0, pos = 0;
    while (count < 4) {
        size_t digits = 0;
        uint32_t value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 6) {
            value = value * 10 + static_cast<uint32_t>(text[pos++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 0xFFFF) return false;
        parts[count++] = value;
        if (pos == text.size()) break;
        if (text[pos++] != '.') return false;
        if (count == 4) return false;
    }
    if (pos != text.size()) return false;
    high = parts[0] << 16 | parts[1];
    low = parts[2] << 16 | parts[3];
    return true;
}

VersionNode* Child(VersionNode& node, const std::u16string& key) {
    for (VersionNode& child : node.children)
        if (child.key == key) return &child;
    return nullptr;
}

}  // namespace

const std::vector<std::string>& VersionStringKeys() {
    static const std::vector<std::string> keys = {"CompanyName",     "FileDescription",  "FileVersion",
                                                  "ProductName",     "ProductVersion",   "LegalCopyright",
                                                  "OriginalFilename", "InternalName"};
    return keys;
}

VersionNode ReadVersionInfo(const std::string& data) {
    VersionNode root;
    ReadNode(data, 0, data.size(), root, 0);
    if (root.key != u"VS_VERSION_INFO" || root.value.size() != kFixedInfoSize ||
        ReadLe32(root.value, 0) != kFixedInfoSignature)
        Damaged();
    return root;
}

std::string WriteVersionInfo(const VersionNode& root) { return WriteNode(root); }

void SetVersionStrings(VersionNode& root, const std::vector<std::pair<std::string, std::u16string>>& strings) {
    VersionNode* fileInfo = Child(root, u"StringFileInfo");
    if (!fileInfo || fileInfo->children.empty())
        throw CPackError("the stub's version resource has no string table");
    for (const auto& [key, value] : strings) {
        const std::u16string wideKey = Utf16FromUtf8(key);
        for (VersionNode& table : fileInfo->children) {
            VersionNode* entry = Child(table, wideKey);
            if (!entry) {
                table.children.push_back(VersionNode());
                entry = &table.children.back();
                entry->key = wideKey;
                entry->type = 1;
            }
            entry->value = TextValue(value);
        }
        uint32_t high = 0, low = 0;
        const size_t fixedAt = key == "FileVersion" ? 8 : key == "ProductVersion" ? 16 : 0;
        if (fixedAt && DottedVersion(Utf8FromUtf16(value), high, low)) {
            WriteLe32(root.value, fixedAt, high);
            WriteLe32(root.value, fixedAt + 4, low);
        }
    }
}

std::vector<std::pair<std::string, std::string>> VersionStrings(const VersionNode& root) {
    std::vector<std::pair<std::string, std::string>> strings;
    for (const VersionNode& child : root.children) {
        if (child.key != u"StringFileInfo" || child.children.empty()) continue;
        for (const VersionNode& entry : child.children.front().children)
            strings.emplace_back(Utf8FromUtf16(entry.key), Utf8FromUtf16(TextOf(entry.value)));
    }
    return strings;
}

std::string FixedFileVersion(const VersionNode& root) {
    const uint32_t high = ReadLe32(root.value, 8), low = ReadLe32(root.value, 12);
    return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) +
           "." + std::to_string(low & 0xFFFF);
}

std::u16string Utf16FromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 9;
        if (extra > 3 || (extra > 0 && i + extra >= text.size()))
            throw CPackError("'" + text + "' is not UTF-8 text");
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) throw CPackError("'" + text + "' is not UTF-8 text");
            code = code << 6 | (next & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string Utf8FromUtf16(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace kvpack
