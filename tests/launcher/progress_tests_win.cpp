// Windows: the resources the stub carries (compiled into this test program
// the same way): progress window template, icon group, manifest, version.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace {

std::string Resource(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(nullptr, name, type);
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return std::string(bytes, SizeofResource(nullptr, found));
}

// Reads a template's little-endian fields in order.
class Reader {
public:
    explicit Reader(const std::string& data) : data(data) {}
    uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint32_t Dword() { return Word() | (static_cast<uint32_t>(Word()) << 16); }
    int Byte() { return at < data.size() ? static_cast<unsigned char>(data[at++]) : -1; }
    // A string or an ordinal (0xFFFF, id); ordinals come back as "#id".
    std::string TextOrOrdinal() {
        uint16_t first = Word();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::string text;
        for (uint16_t c = first; c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }

private:
    const std::string& data;
    size_t at = 0;
};

std::string Utf16(const std::string& text) {
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

std::string CharUpperOf(std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

TEST(StubResources, ProgressWindowTemplate) {
    std::string data = Resource(MAKEINTRESOURCEA(102), MAKEINTRESOURCEA(5));  // RT_DIALOG
    ASSERT_FALSE(data.empty());
    Reader r(data);
    EXPECT_EQ(r.Word(), 1);       // extended template
    EXPECT_EQ(r.Word(), 0xFFFF);
    r.Dword();                    // help id
    EXPECT_EQ(r.Dword(), 0x00040080u);
    EXPECT_EQ(r.Dword(), 0x90C800C0u);
    EXPECT_EQ(r.Word(), 1);       // one control
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 150);
    EXPECT_EQ(r.Word(), 17);
    EXPECT_EQ(r.TextOrOrdinal(), "");  // no menu
    EXPECT_EQ(r.TextOrOrdinal(), "");  // default class
    EXPECT_EQ(r.TextOrOrdinal(), "");  // empty caption
    EXPECT_EQ(r.Word(), 8);            // point size
    r.Word();                          // weight
    r.Byte();                          // italic
    r.Byte();                          // character set
    EXPECT_EQ(r.TextOrOrdinal(), "MS Sans Serif");
    r.AlignDword();
    r.Dword();                         // help id
    EXPECT_EQ(r.Dword(), 0u);          // extended style
    EXPECT_EQ(r.Dword(), 0x50800000u);
    EXPECT_EQ(r.Word(), 3);
    EXPECT_EQ(r.Word(), 3);
    EXPECT_EQ(r.Word(), 144);
    EXPECT_EQ(r.Word(), 11);
    EXPECT_EQ(r.Dword(), 1002u);
    // windres stores class names upper-cased; the system compares them
    // without regard to case.
    EXPECT_EQ(CharUpperOf(r.TextOrOrdinal()), "MSCTLS_PROGRESS32");
    EXPECT_EQ(r.TextOrOrdinal(), "Progress1");
}

TEST(StubResources, IconGroupHasThreePngImagesThatLoad) {
    std::string data = Resource(MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_GE(data.size(), 6u);
    Reader r(data);
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 1);
    int count = r.Word();
    std::set<std::pair<int, int>> images;
    for (int i = 0; i < count; ++i) {
        int width = r.Byte();
        int height = r.Byte();
        r.Byte();  // colour count
        r.Byte();
        r.Word();  // planes
        int bits = r.Word();
        uint32_t bytes = r.Dword();
        uint16_t id = r.Word();
        EXPECT_EQ(width, height);
        std::string image = Resource(MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));  // RT_ICON
        EXPECT_EQ(image.size(), bytes);
        EXPECT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << "image " << id << " is not PNG-compressed";
        images.insert({width, bits});
        HANDLE loaded = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128), IMAGE_ICON, width, width, 0);
        EXPECT_NE(loaded, nullptr) << width << " pixels";
        if (loaded) DestroyIcon(static_cast<HICON>(loaded));
    }
    std::set<std::pair<int, int>> wanted = {{16, 32}, {32, 32}, {48, 32}};
    EXPECT_EQ(images, wanted);
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128)), nullptr);
}

TEST(StubResources, ManifestAsksForCommonControls6AndNoElevation) {
    std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
}

TEST(StubResources, VersionNamesTheProduct) {
    std::string version = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
    ASSERT_FALSE(version.empty());
    size_t fixed = version.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(fixed, std::string::npos);
    uint32_t fileVersionMs;
    std::memcpy(&fileVersionMs, version.data() + fixed + 8, 4);
    EXPECT_EQ(fileVersionMs, 0x00010000u);
    size_t product = version.find(Utf16("ProductName"));
    ASSERT_NE(product, std::string::npos);
    EXPECT_NE(version.find(Utf16("kvsfx"), product), std::string::npos);
    EXPECT_NE(version.find(Utf16("1.0.0")), std::string::npos);
}
