#include "tar_writer.h"

#include <algorithm>
#include <cstring>

namespace kvpack {

namespace {

constexpr size_t kBlock = 512;
constexpr uint64_t kUstarSizeLimit = uint64_t{1} << 33;  // 11 octal digits

// `value` as `width - 1` octal digits and a zero byte.
void PutOctal(char* field, size_t width, uint64_t value) {
    for (size_t i = width - 1; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
    field[width - 1] = '\0';
}

bool IsPlainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c >= 0x7F) return false;
    return true;
}

// Splits `name` into the ustar prefix (at most 155 bytes) and name (at most
// 100 bytes) fields at a '/'; false when it does not fit.
bool SplitUstarName(const std::string& name, std::string& prefix, std::string& rest) {
    if (name.size() <= 100) {
        prefix.clear();
        rest = name;
        return true;
    }
    for (size_t cut = name.find('/'); cut != std::string::npos; cut = name.find('/', cut + 1)) {
        if (cut <= 155 && name.size() - cut - 1 <= 100 && cut + 1 < name.size()) {
            prefix = name.substr(0, cut);
            rest = name.substr(cut + 1);
            return true;
        }
    }
    return false;
}

// One pax record: "<length> <key>=<value>\n", the length counting itself.
std::string PaxRecord(const std::string& key, const std::string& value) {
    const size_t body = key.size() + value.size() + 3;  // ' ', '=', '\n'
    size_t length = body + 1;
    while (std::to_string(length).size() + body != length) ++length;
    return std::to_string(length) + " " + key + "=" + value + "\n";
}

std::string Block(const std::string& name, const std::string& prefix, char type, uint64_t size, uint32_t mode,
                  int64_t mtime) {
    char b[kBlock];
    std::memset(b, 0, sizeof b);
    std::memcpy(b, name.data(), std::min<size_t>(name.size(), 100));
    PutOctal(b + 100, 8, mode & 07777);
    PutOctal(b + 108, 8, 0);
    PutOctal(b + 116, 8, 0);
    PutOctal(b + 124, 12, size < kUstarSizeLimit ? size : 0);
    PutOctal(b + 136, 12, mtime < 0 ? 0 : static_cast<uint64_t>(mtime) & 077777777777);
    b[156] = type;
    std::memcpy(b + 257, "ustar", 6);
    std::memcpy(b + 263, "00", 2);
    std::memcpy(b + 345, prefix.data(), std::min<size_t>(prefix.size(), 155));
    std::memset(b + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : b) sum += c;
    PutOctal(b + 148, 7, sum);
    b[155] = ' ';
    return std::string(b, sizeof b);
}

}  // namespace

std::string TarHeaders(const TarMemberSpec& member) {
    const std::string name = member.isFolder ? member.name + "/" : member.name;
    std::string prefix, rest;
    std::string pax;
    if (!IsPlainAscii(name) || !SplitUstarName(name, prefix, rest)) {
        pax += PaxRecord("path", name);
        prefix.clear();
        rest = name.substr(0, 100);
        if (!IsPlainAscii(rest)) rest = "pax-named-member";
    }
    if (member.size >= kUstarSizeLimit) pax += PaxRecord("size", std::to_string(member.size));
    std::string out;
    if (!pax.empty()) {
        out += Block("PaxHeader", "", 'x', pax.size(), 0644, member.mtime);
        out += pax;
        out += TarPadding(pax.size());
    }
    out += Block(rest, prefix, member.isFolder ? '5' : '0', member.isFolder ? 0 : member.size, member.mode,
                 member.mtime);
    return out;
}

std::string TarPadding(uint64_t size) { return std::string((kBlock - size % kBlock) % kBlock, '\0'); }

std::string TarEnd() { return std::string(2 * kBlock, '\0'); }

}  // namespace kvpack
