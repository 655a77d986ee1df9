// Platform operations of the archive reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "test_support.h"
#include "zip/zip_buffer.h"
#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_name_text.h"
#include "zip/zip_path.h"

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

int ZipCode(const std::function<void()>& op, std::string* name = nullptr) {
    try {
        op();
    } catch (CZipException* e) {
        int code = e->errorCode;
        if (name) *name = e->fileName;
        e->Delete();
        return code;
    }
    return 0;
}

// Last-write and last-access times of a file, seconds since 1970.
void FileTimes(const std::string& path, long long& modified, long long& accessed) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    auto seconds = [](const FILETIME& t) {
        unsigned long long v = (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        return static_cast<long long>(v / 10000000ULL) - 11644473600LL;
    };
    modified = seconds(data.ftLastWriteTime);
    accessed = seconds(data.ftLastAccessTime);
#else
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    modified = st.st_mtime;
    accessed = st.st_atime;
#endif
}

const bool kWindows = CZipPath::NativeStyle() == CZipPath::Style::Windows;

}  // namespace

TEST(ZipFs, ExistenceAndCurrentFolder) {
    ScratchDir dir;
    WriteFile(dir / "f.txt", "x");
    EXPECT_EQ(ZipFs::FileExists(dir / "f.txt"), 1);
    EXPECT_EQ(ZipFs::FileExists(dir.Path()), -1);
    EXPECT_EQ(ZipFs::FileExists(dir / "none"), 0);
    EXPECT_EQ(ZipFs::FileExists(""), 0);
    EXPECT_TRUE(ZipFs::FolderExists(dir.Path()));
    EXPECT_FALSE(ZipFs::FolderExists(dir / "f.txt"));
    EXPECT_FALSE(ZipFs::FolderExists(dir / "none"));

    std::string before, inside, after;
    ASSERT_TRUE(ZipFs::GetCurrentFolder(before));
    EXPECT_TRUE(ZipFs::FolderExists(dir.Path()));
    ASSERT_TRUE(ZipFs::GetCurrentFolder(after));
    EXPECT_EQ(before, after);  // the test leaves the current folder as it was
    ASSERT_TRUE(ZipFs::ChangeFolder(dir.Path()));
    ASSERT_TRUE(ZipFs::GetCurrentFolder(inside));
    EXPECT_EQ(ZipFs::FileExists("f.txt"), 1);
    ASSERT_TRUE(ZipFs::ChangeFolder(before));
    EXPECT_EQ(inside, dir.Path());
    EXPECT_FALSE(ZipFs::ChangeFolder(dir / "none"));
}

TEST(ZipFs, ForceFolderCreatesEveryMissingLevel) {
    ScratchDir dir;
    const char sep = CZipPath::Separator(CZipPath::NativeStyle());
    const std::string deep = dir / (std::string("a") + sep + "b" + sep + "c");
    EXPECT_TRUE(ZipFs::ForceFolder(deep + sep));  // trailing separators are ignored
    EXPECT_EQ(ZipFs::FileExists(dir / "a"), -1);
    EXPECT_EQ(ZipFs::FileExists(deep), -1);
    EXPECT_TRUE(ZipFs::ForceFolder(deep));  // existing: nothing to do
    EXPECT_TRUE(ZipFs::ForceFolder(""));
    // A file in the way.
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(ZipFs::ForceFolder(dir / (std::string("file") + sep + "sub")));
    EXPECT_FALSE(ZipFs::ForceFolder(dir / "file"));
    EXPECT_EQ(ZipFs::FileExists(dir / "file"), 1);
    EXPECT_TRUE(ZipFs::CreateFolder(dir / "single"));
    EXPECT_FALSE(ZipFs::CreateFolder(dir / "single"));
}

TEST(ZipFs, RemoveAndRename) {
    ScratchDir dir;
    WriteFile(dir / "a", "A");
    WriteFile(dir / "b", "B");
    std::string name;
    // A target that exists is never replaced.
    EXPECT_FALSE(ZipFs::RenameFile(dir / "a", dir / "b", false));
    EXPECT_EQ(ZipCode([&] { ZipFs::RenameFile(dir / "a", dir / "b", true); }, &name), 114);
    EXPECT_EQ(name, dir / "a");
    EXPECT_EQ(ReadFile(dir / "b"), "B");
    EXPECT_TRUE(ZipFs::RenameFile(dir / "a", dir / "c"));
    EXPECT_EQ(ZipFs::FileExists(dir / "a"), 0);
    EXPECT_EQ(ReadFile(dir / "c"), "A");

    EXPECT_TRUE(ZipFs::RemoveFile(dir / "c"));
    EXPECT_EQ(ZipFs::FileExists(dir / "c"), 0);
    EXPECT_FALSE(ZipFs::RemoveFile(dir / "c", false));
    EXPECT_EQ(ZipCode([&] { ZipFs::RemoveFile(dir / "c", true); }, &name), 113);
    EXPECT_EQ(name, dir / "c");
    // Folders are not removed as files.
    ZipFs::CreateFolder(dir / "sub");
    EXPECT_FALSE(ZipFs::RemoveFile(dir / "sub", false));
    EXPECT_EQ(ZipFs::FileExists(dir / "sub"), -1);
}

TEST(ZipFs, ModificationTime) {
    ScratchDir dir;
    const std::string path = dir / "t.txt";
    WriteFile(path, "t");
    const long long when = 1234567890;  // 2009-02-13 23:31:30 UTC
    ASSERT_TRUE(ZipFs::SetFileModTime(path, static_cast<time_t>(when)));
    long long modified = 0, accessed = 0;
    FileTimes(path, modified, accessed);
    EXPECT_EQ(modified, when);
    const long long now = static_cast<long long>(time(nullptr));
    EXPECT_LE(std::llabs(accessed - now), 5);

    ASSERT_TRUE(ZipFs::SetFileModTime(path, static_cast<time_t>(-1)));
    FileTimes(path, modified, accessed);
    EXPECT_LE(std::llabs(modified - now), 5);
    EXPECT_LE(std::llabs(accessed - now), 5);
    EXPECT_FALSE(ZipFs::SetFileModTime(dir / "none", static_cast<time_t>(when)));
}

TEST(ZipFs, Attributes) {
    ScratchDir dir;
    const std::string path = dir / "a.txt";
    WriteFile(path, "a");
    ZipFs::CreateFolder(dir / "sub");
#ifdef _WIN32
    ASSERT_TRUE(ZipFs::SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & 0x03, 0x03u);
    ASSERT_TRUE(ZipFs::SetAttributes(path, FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & 0x23, 0x20u);
    EXPECT_FALSE(ZipFs::SetAttributes(dir / "none", FILE_ATTRIBUTE_ARCHIVE));
#else
    auto mode = [](const std::string& p) {
        struct stat st;
        stat(p.c_str(), &st);
        return st.st_mode & 07777;
    };
    chmod(path.c_str(), 0664);
    // MS-DOS bits only: read-only clears every write bit, its absence gives
    // the owner write access back.
    ASSERT_TRUE(ZipFs::SetAttributes(path, 0x21));
    EXPECT_EQ(mode(path), 0444u);
    ASSERT_TRUE(ZipFs::SetAttributes(path, 0x20));
    EXPECT_EQ(mode(path), 0644u);
    // A Unix mode in the upper half is used; special bits are dropped.
    ASSERT_TRUE(ZipFs::SetAttributes(path, (0104750u << 16) | 0x20));
    EXPECT_EQ(mode(path), 0750u);
    ASSERT_TRUE(ZipFs::SetAttributes(path, (0100644u << 16) | 0x01));
    EXPECT_EQ(mode(path), 0444u);
    // Folders keep owner access so that their entries can still be made.
    ASSERT_TRUE(ZipFs::SetAttributes(dir / "sub", (040555u << 16) | 0x11));
    EXPECT_EQ(mode(dir / "sub"), 0755u);
    WriteFile(dir / (std::string("sub/") + "inside"), "ok");
    EXPECT_FALSE(ZipFs::SetAttributes(dir / "none", 0x20));
#endif
}

TEST(ZipFs, DrivesAnswerAsAFixedDisk) {
    ScratchDir dir;
    EXPECT_FALSE(ZipFs::IsDriveRemovable(dir / "a.zip"));
    EXPECT_GT(ZipFs::GetDeviceFreeSpace(dir.Path()), 0u);
    EXPECT_GT(ZipFs::GetDeviceFreeSpace(dir / "a.zip"), 0u);  // not there yet
    if (!kWindows) {
        EXPECT_FALSE(ZipFs::SetVolumeName(dir.Path(), "pkback# 001"));
        EXPECT_GT(ZipFs::GetDeviceFreeSpace(dir / "no/such/folder/a.zip"), 0u);
    }
}

TEST(ZipText, Cp437AndUtf8Forms) {
    // CP437 bytes: a-umlaut, sharp s, a box corner, the no-break space.
    EXPECT_EQ(ZipText::Cp437ToUtf8("x\x84\xE1\xC9\xFFy", 6), "x\xC3\xA4\xC3\x9F\xE2\x95\x94\xC2\xA0y");
    EXPECT_EQ(ZipText::Cp437ToUtf8("plain", 5), "plain");
    const std::string good[] = {"", "a", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
                                "\xED\x9F\xBF", "e\xCC\x81"};
    for (const std::string& text : good) EXPECT_TRUE(ZipText::IsValidUtf8(text.data(), text.size())) << text;
    // Overlong forms, surrogate halves, beyond U+10FFFF, cut short, stray bytes.
    const std::string bad[] = {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80",
                               "\xF4\x90\x80\x80", "\xE6\x97", "\x80", "\xFF", "r\xE9sum\xE9"};
    for (const std::string& text : bad) EXPECT_FALSE(ZipText::IsValidUtf8(text.data(), text.size())) << text;
    EXPECT_TRUE(ZipText::IsAscii("abc", 3));
    EXPECT_FALSE(ZipText::IsAscii("\xC3\xA9", 2));
    EXPECT_EQ(ZipText::ForDisplay("r\xE9s\xC3\xA9", 5), "r\\xE9s\xC3\xA9");
}
