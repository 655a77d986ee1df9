#include "solid/tar_reader.h"

#include <algorithm>
#include <cstring>

#include "zip/zip_exception.h"

namespace {

constexpr size_t kBlock = 512;
// Extended headers larger than this are damage, not names: no pax record
// the launcher reads needs more.
constexpr uint64_t kMetaLimit = 1 << 20;

uint64_t PaddingAfter(uint64_t size) { return (kBlock - size % kBlock) % kBlock; }

bool AllZero(const unsigned char* block) {
    return std::all_of(block, block + kBlock, [](unsigned char b) { return b == 0; });
}

std::string FieldText(const unsigned char* field, size_t width) {
    const unsigned char* end = std::find(field, field + width, 0);
    return std::string(reinterpret_cast<const char*>(field), end - field);
}

// A numeric header field: octal digits between optional spaces, ended by a
// space or a zero byte, or a big-endian binary number after the byte 0x80.
// False when it is neither.
bool ParseNumber(const unsigned char* field, size_t width, uint64_t& value) {
    value = 0;
    if (field[0] == 0x80) {
        for (size_t i = 1; i < width; ++i) {
            if (value >> 56) return false;
            value = (value << 8) | field[i];
        }
        return true;
    }
    size_t i = 0;
    while (i < width && field[i] == ' ') ++i;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (value >> 61) return false;
        value = (value << 3) | static_cast<uint64_t>(field[i] - '0');
    }
    for (; i < width; ++i)
        if (field[i] != ' ' && field[i] != 0) return false;
    return true;
}

// A decimal number of a pax record; false unless `text` is digits only.
bool ParseDecimal(const std::string& text, uint64_t& value) {
    value = 0;
    if (text.empty() || text.size() > 19) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

}  // namespace

CTarReader::CTarReader(CTarMemberSink& sink, std::string streamName)
    : sink(sink), streamName(std::move(streamName)) {}

void CTarReader::Damage(const std::string& why) const { ThrowZipError(ErrDamagedArchive, streamName, why); }

void CTarReader::Feed(const unsigned char* data, size_t size) {
    while (size > 0) {
        if (state == State::End) return;  // what follows the end blocks is not read
        if (state == State::Header) {
            const size_t n = std::min(kBlock - blockFill, size);
            std::memcpy(block + blockFill, data, n);
            blockFill += n, data += n, size -= n;
            if (blockFill == kBlock) {
                blockFill = 0;
                TakeHeader(block);
            }
            continue;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, size));
        if (state == State::Data) sink.MemberData(data, n);
        if (state == State::Meta) meta.append(reinterpret_cast<const char*>(data), n);
        remaining -= n, data += n, size -= n;
        if (remaining > 0) continue;
        if (state == State::Data) {
            sink.EndMember();
            remaining = PaddingAfter(member.size);
            state = State::Padding;
        } else if (state == State::Meta) {
            TakeMeta();
            remaining = PaddingAfter(meta.size());
            state = State::Padding;
        }
        if (remaining == 0) {
            state = State::Header;
            member.name.clear();
        }
    }
}

void CTarReader::TakeHeader(const unsigned char* header) {
    if (AllZero(header)) {
        if (metaType || !nextPath.empty() || nextHasSize) Damage("an extended header is not followed by its member");
        state = State::End;
        return;
    }
    uint64_t stored = 0, size = 0, mode = 0, mtime = 0;
    // The checksum counts its own field as spaces; old writers summed signed bytes.
    unsigned long unsignedSum = 8 * ' ';
    long signedSum = 8 * ' ';
    for (size_t i = 0; i < kBlock; ++i) {
        if (i >= 148 && i < 156) continue;
        unsignedSum += header[i];
        signedSum += static_cast<signed char>(header[i]);
    }
    if (!ParseNumber(header + 148, 8, stored) ||
        (stored != unsignedSum && static_cast<long>(stored) != signedSum))
        Damage("a tar header's checksum does not match");
    if (!ParseNumber(header + 124, 12, size) || !ParseNumber(header + 100, 8, mode) ||
        !ParseNumber(header + 136, 12, mtime))
        Damage("a tar header holds a number that is not one");

    const char type = static_cast<char>(header[156]);
    if (type == 'x' || type == 'g' || type == 'L') {
        if (size > kMetaLimit) Damage("an extended tar header of " + std::to_string(size) + " bytes");
        metaType = type;
        meta.clear();
        remaining = size;
        state = State::Meta;
        if (size == 0) {
            TakeMeta();
            state = State::Header;
        }
        return;
    }

    std::string name = FieldText(header, 100);
    if (std::memcmp(header + 257, "ustar", 5) == 0) {
        const std::string prefix = FieldText(header + 345, 155);
        if (!prefix.empty()) name = prefix + "/" + name;
    }
    member = CTarMember();
    member.name = nextPath.empty() ? name : nextPath;
    member.size = nextHasSize ? nextSize : size;
    member.mode = static_cast<uint32_t>(mode & 07777);
    member.mtime = nextHasTime ? nextTime : static_cast<int64_t>(mtime);
    nextPath.clear();
    nextHasSize = nextHasTime = false;

    if (type == '5') {
        member.isFolder = true;
    } else if (type != '0' && type != '\0' && type != '7') {
        ThrowZipError(ErrSpecialMember, member.name,
                      std::string("tar member type '") + (type >= 0x20 && type < 0x7F ? type : '?') + "'");
    }
    sink.BeginMember(member);
    remaining = member.size;
    state = State::Data;
    if (remaining == 0) {
        sink.EndMember();
        state = State::Header;
        member.name.clear();
    }
}

void CTarReader::TakeMeta() {
    const char type = metaType;
    metaType = 0;
    if (type == 'L') {
        nextPath = meta.substr(0, meta.find('\0'));
        return;
    }
    if (type != 'x') return;  // global headers hold nothing the launcher uses
    // Records "<length> <key>=<value>\n", the length counting the whole record.
    size_t at = 0;
    while (at < meta.size()) {
        const size_t space = meta.find(' ', at);
        uint64_t length = 0;
        if (space == std::string::npos || !ParseDecimal(meta.substr(at, space - at), length) ||
            length <= space - at + 1 || length > meta.size() - at || meta[at + length - 1] != '\n')
            Damage("a malformed extended tar header");
        const std::string record = meta.substr(space + 1, at + length - 1 - (space + 1));
        at += length;
        const size_t equals = record.find('=');
        if (equals == std::string::npos) Damage("a malformed extended tar header");
        const std::string key = record.substr(0, equals), value = record.substr(equals + 1);
        if (key == "path") {
            nextPath = value;
        } else if (key == "size") {
            if (!ParseDecimal(value, nextSize)) Damage("a malformed extended tar header");
            nextHasSize = true;
        } else if (key == "mtime") {
            // Seconds, perhaps with a fraction, perhaps before 1970.
            const bool negative = !value.empty() && value[0] == '-';
            uint64_t seconds = 0;
            if (!ParseDecimal(value.substr(negative, value.find('.') - negative), seconds))
                Damage("a malformed extended tar header");
            nextTime = negative ? -static_cast<int64_t>(seconds) : static_cast<int64_t>(seconds);
            nextHasTime = true;
        }
    }
}

void CTarReader::Finish(bool more) {
    if (state == State::End) {
        if (more) Damage("the tar stream ends before its last part");
        return;
    }
    if (state != State::Header || blockFill != 0 || metaType) {
        if (!member.name.empty()) ThrowZipError(ErrDamagedArchive, member.name, "the payload ends inside it");
        Damage("the tar stream ends inside a header");
    }
    if (!nextPath.empty() || nextHasSize) Damage("an extended header is not followed by its member");
}
