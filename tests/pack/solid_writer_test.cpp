// The solid payload's tar headers read back by the launcher's tar reader, and
// the plan that groups and cuts the payload into parts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "solid/tar_reader.h"
#include "solid_writer.h"
#include "tar_writer.h"
#include "test_support.h"

using namespace kvpack;

namespace {

struct Seen {
    CTarMember member;
    std::string data;
};

class Recorder : public CTarMemberSink {
public:
    std::vector<Seen> seen;
    void BeginMember(const CTarMember& member) override { seen.push_back({member, ""}); }
    void MemberData(const unsigned char* data, size_t size) override {
        seen.back().data.append(reinterpret_cast<const char*>(data), size);
    }
    void EndMember() override {}
};

std::string Stream(const std::vector<TarMemberSpec>& members, const std::vector<std::string>& data) {
    std::string out;
    for (size_t i = 0; i < members.size(); ++i) out += TarHeaders(members[i]) + data[i] + TarPadding(data[i].size());
    return out + TarEnd();
}

}  // namespace

TEST(SolidTar, HeadersReadBackWhateverTheNameAndChunking) {
    const std::string longPath = std::string(120, 'p') + "/" + std::string(90, 'f');  // ustar prefix + name
    const std::string longName = std::string(250, 'n');                             // pax path
    const std::vector<TarMemberSpec> members = {
        {"a.txt", false, 5, 0644, 1700000000},
        {"folder", true, 0, 0755, 1600000000},
        {longPath, false, 3, 0600, 0},
        {longName, false, 0, 0444, 86400},
        {"grüße/日本.txt", false, 2, 0755, 1},
    };
    const std::vector<std::string> data = {"hello", "", "abc", "", "ok"};
    const std::string stream = Stream(members, data);
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{513}, stream.size()}) {
        Recorder recorder;
        CTarReader reader(recorder, "payload.tar.xz");
        for (size_t at = 0; at < stream.size(); at += chunk)
            reader.Feed(reinterpret_cast<const unsigned char*>(stream.data()) + at, std::min(chunk, stream.size() - at));
        reader.Finish(false);
        ASSERT_EQ(recorder.seen.size(), members.size()) << chunk;
        for (size_t i = 0; i < members.size(); ++i) {
            const CTarMember& m = recorder.seen[i].member;
            EXPECT_EQ(m.name, members[i].name + (members[i].isFolder ? "/" : "")) << i;
            EXPECT_EQ(m.isFolder, members[i].isFolder) << i;
            EXPECT_EQ(m.size, members[i].size) << i;
            EXPECT_EQ(m.mode, members[i].mode) << i;
            EXPECT_EQ(m.mtime, members[i].mtime) << i;
            EXPECT_EQ(recorder.seen[i].data, data[i]) << i;
        }
    }
    // A size beyond the ustar field (8 GiB) travels in a pax record.
    Recorder recorder;
    CTarReader reader(recorder, "payload.tar.xz");
    const std::string headers = TarHeaders({"huge.bin", false, uint64_t{9} << 30, 0644, 0});
    reader.Feed(reinterpret_cast<const unsigned char*>(headers.data()), headers.size());
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0].member.size, uint64_t{9} << 30);
}

TEST(SolidPlan, CodeGroupedBehindFoldersAndCutAtTheSize) {
    testsupport::ScratchDir dir;
    std::string elf(64, '\0'), pe(256, '\0');
    elf.replace(0, 4, "\x7F" "ELF");
    elf[18] = 62;  // x86-64
    pe.replace(0, 2, "MZ");
    pe[0x3C] = static_cast<char>(0x80);
    pe.replace(0x80, 4, std::string("PE\0\0", 4));
    pe[0x84] = 0x4C, pe[0x85] = 0x01;  // i386
    std::vector<ScannedItem> items;
    auto add = [&](const std::string& name, const std::string& bytes, bool folder) {
        ScannedItem item;
        item.relativeName = name;
        item.path = dir / name;
        item.info.isFolder = folder;
        item.info.size = bytes.size();
        if (!folder) testsupport::WriteFile(item.path, bytes);
        items.push_back(item);
    };
    add("b.txt", std::string(3000, 'b'), false);
    add("tool", elf, false);
    add("lib.dll", pe, false);
    add("a.txt", std::string(3000, 'a'), false);
    add("sub", "", true);
    EXPECT_TRUE(IsX86Code(dir / "tool"));
    EXPECT_TRUE(IsX86Code(dir / "lib.dll"));
    EXPECT_FALSE(IsX86Code(dir / "a.txt"));

    SolidOptions options;
    options.partSize = 2048;  // each text file fills a part
    const std::vector<SolidPartPlan> parts = PlanSolidParts(items, options);
    ASSERT_EQ(parts.size(), 3u);
    std::vector<std::vector<std::string>> names;
    for (const SolidPartPlan& part : parts) {
        names.emplace_back();
        for (const ScannedItem* item : part.items) names.back().push_back(item->relativeName);
    }
    EXPECT_EQ(names[0], (std::vector<std::string>{"sub", "a.txt"}));
    EXPECT_EQ(names[1], (std::vector<std::string>{"b.txt"}));
    EXPECT_EQ(names[2], (std::vector<std::string>{"tool", "lib.dll"}));  // by extension, then name
    EXPECT_FALSE(parts[0].x86Code || parts[1].x86Code);
    EXPECT_TRUE(parts[2].x86Code);
    EXPECT_TRUE(parts[2].last && !parts[0].last && !parts[1].last);
}
