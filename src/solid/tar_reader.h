// Reads a POSIX (pax) or ustar tar stream that arrives in pieces, and hands
// its members to a sink: a member's header, its data in pieces, its end.
//
// Regular files and folders are members; pax extended headers ('x': path,
// size, mtime), GNU long names ('L') and global headers ('g', ignored) only
// describe the member that follows. Any other type (hard and symbolic links,
// devices, FIFOs, sparse files) is refused with the reason. Damage (a header
// whose checksum does not match, a number that is no number, an extended
// header too large or malformed, a stream that ends inside a member) is
// thrown as CZipException 101 with the reason; refused types as 117.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CTarMember {
    std::string name;  // as stored: '/' separators, a folder's may end with '/'
    bool isFolder = false;
    uint64_t size = 0;
    uint32_t mode = 0;  // permission bits (07777)
    int64_t mtime = 0;  // seconds since 1970
};

class CTarMemberSink {
public:
    virtual ~CTarMemberSink() = default;
    virtual void BeginMember(const CTarMember& member) = 0;
    virtual void MemberData(const unsigned char* data, size_t size) = 0;
    virtual void EndMember() = 0;
};

class CTarReader {
public:
    // `streamName` names the stream in error messages.
    CTarReader(CTarMemberSink& sink, std::string streamName);

    // Takes the next bytes of the stream.
    void Feed(const unsigned char* data, size_t size);
    // The stream has ended: throws unless it ended between members. A stream
    // that is a later part's predecessor (`more`) must not have reached the
    // end-of-archive blocks, since the parts after it would be ignored.
    void Finish(bool more);
    // The member whose header or data is being read ("" between members).
    const std::string& CurrentName() const { return member.name; }

private:
    enum class State { Header, Data, Padding, Meta, MetaPadding, End };

    void TakeHeader(const unsigned char* block);
    void TakeMeta();
    [[noreturn]] void Damage(const std::string& why) const;

    CTarMemberSink& sink;
    std::string streamName;
    State state = State::Header;
    unsigned char block[512];
    size_t blockFill = 0;
    uint64_t remaining = 0;   // data or padding bytes still to come
    char metaType = 0;        // 'x', 'g' or 'L' while reading one
    std::string meta;         // its data
    // What extended headers said about the next member.
    std::string nextPath;
    bool nextHasSize = false;
    uint64_t nextSize = 0;
    bool nextHasTime = false;
    int64_t nextTime = 0;
    CTarMember member;
};
