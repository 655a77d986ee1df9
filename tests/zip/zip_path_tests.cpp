// Path splitting and joining, in both styles (the Windows rules are checked
// on every build; the native style is checked under Wine and on Linux).
#include <gtest/gtest.h>

#include <string>

#include "zip/zip_path.h"

namespace {

const CZipPath::Style W = CZipPath::Style::Windows;
const CZipPath::Style P = CZipPath::Style::Posix;

struct Row {
    const char* input;
    const char* prefix;
    const char* drive;
    const char* folder;
    const char* title;
    const char* extension;
    const char* fullPath;
};

void CheckRow(const Row& row, CZipPath::Style style) {
    CZipPath p(row.input, style);
    EXPECT_EQ(p.prefix, row.prefix) << row.input;
    EXPECT_EQ(p.drive, row.drive) << row.input;
    EXPECT_EQ(p.folder, row.folder) << row.input;
    EXPECT_EQ(p.title, row.title) << row.input;
    EXPECT_EQ(p.extension, row.extension) << row.input;
    EXPECT_EQ(p.FullPath(), row.fullPath) << row.input;
}

}  // namespace

TEST(ZipPath, WindowsSplitAndJoin) {
    const Row rows[] = {
        {"C:\\dir\\sub\\file.txt", "", "C:", "dir\\sub", "file", "txt", "C:\\dir\\sub\\file.txt"},
        {"\\\\server\\share\\f.txt", "\\\\", "", "server\\share", "f", "txt",
         "\\\\server\\share\\f.txt"},
        {"\\\\?\\C:\\d\\f.tar.gz", "\\\\?\\", "C:", "d", "f.tar", "gz", "\\\\?\\C:\\d\\f.tar.gz"},
        {"\\\\?\\UNC\\srv\\sh\\f", "\\\\?\\UNC\\", "", "srv\\sh", "f", "", "\\\\?\\UNC\\srv\\sh\\f"},
        {"\\dir\\file", "", "", "dir", "file", "", "dir\\file"},
        {"C:file", "", "C:", "", "file", "", "C:\\file"},
        {"C:\\dir\\", "", "C:", "dir", "", "", "C:\\dir"},
        // The long-path prefixes in any letter case, kept as written.
        {"\\\\?\\unc\\a\\b.c", "\\\\?\\unc\\", "", "a", "b", "c", "\\\\?\\unc\\a\\b.c"},
        // Three matching characters are no prefix.
        {"\\\\?x", "", "", "", "?x", "", "?x"},
        // A slash ends the folder part but is not trimmed; dots in folders do
        // not start an extension; leading dots of an extension go.
        {"C:\\a.b/c\\name", "", "C:", "a.b/c", "name", "", "C:\\a.b/c\\name"},
        {"D:\\x\\..zip", "", "D:", "x", ".", "zip", "D:\\x\\..zip"},
        {"D:\\x\\a.b.c", "", "D:", "x", "a.b", "c", "D:\\x\\a.b.c"},
        // Relative names stay relative.
        {"a.zip", "", "", "", "a", "zip", "a.zip"},
        {"", "", "", "", "", "", ""},
    };
    for (const Row& row : rows) CheckRow(row, W);
}

TEST(ZipPath, WindowsPartsAndHelpers) {
    CZipPath p("\\\\?\\C:\\work\\sub\\setup.exe", W);
    EXPECT_EQ(p.FileName(), "setup.exe");
    EXPECT_EQ(p.FolderPath(), "\\\\?\\C:\\work\\sub");
    EXPECT_EQ(p.PathWithoutDrive(), "work\\sub\\setup.exe");
    EXPECT_EQ(p.Drive(), "C:");
    EXPECT_EQ(p.Extension(), "exe");
    p.SetExtension("..001");
    EXPECT_EQ(p.FullPath(), "\\\\?\\C:\\work\\sub\\setup.001");
    p.SetExtension("");
    EXPECT_EQ(p.FullPath(), "\\\\?\\C:\\work\\sub\\setup");

    // Entry names lose drive and prefix below a target folder.
    EXPECT_EQ(CZipPath("C:\\docs\\a.txt", W).PathWithoutDrive(), "docs\\a.txt");
    EXPECT_EQ(CZipPath("\\\\srv\\share\\a.txt", W).PathWithoutDrive(), "srv\\share\\a.txt");
    EXPECT_EQ(CZipPath("docs\\", W).PathWithoutDrive(), "docs");
    EXPECT_EQ(CZipPath("a.txt", W).PathWithoutDrive(), "a.txt");
    EXPECT_EQ(CZipPath("C:", W).FolderPath(), "C:");

    // No part is cut: a deep folder part and a name of more than 255 bytes
    // (100 CJK characters) stay whole.
    const std::string deep = std::string(200, 'd') + "\\" + std::string(200, 'e');
    std::string longTitle;
    for (int i = 0; i < 100; ++i) longTitle += "\xE6\x97\xA5";
    const CZipPath whole("C:\\" + deep + "\\" + longTitle + ".txt", W);
    EXPECT_EQ(whole.folder, deep);
    EXPECT_EQ(whole.title, longTitle);
}

TEST(ZipPath, PosixSplitAndJoin) {
    const Row rows[] = {
        {"/tmp/x/f.tar.gz", "/", "", "tmp/x", "f.tar", "gz", "/tmp/x/f.tar.gz"},
        {"/a.zip", "/", "", "", "a", "zip", "/a.zip"},
        {"//srv//a", "/", "", "srv", "a", "", "/srv/a"},
        {"rel/dir/", "", "", "rel/dir", "", "", "rel/dir"},
        {"a.zip", "", "", "", "a", "zip", "a.zip"},
        {"C:\\x.y", "", "", "", "C:\\x", "y", "C:\\x.y"},  // no drives, `\` is a name byte
        {"/", "/", "", "", "", "", "/"},
    };
    for (const Row& row : rows) CheckRow(row, P);
    CZipPath p("/work/kv_ext_temp_0/" + std::string(400, 'd') + "/file.txt", P);
    EXPECT_EQ(p.folder.size(), 19u + 400u);  // nothing is cut
    EXPECT_EQ(CZipPath("/w/docs/a.txt", P).PathWithoutDrive(), "w/docs/a.txt");
}

TEST(ZipPath, NativeStyleFollowsThePlatform) {
#ifdef _WIN32
    EXPECT_EQ(CZipPath::NativeStyle(), W);
    EXPECT_EQ(CZipPath("Z:\\tmp\\a.zip").FolderPath(), "Z:\\tmp");
#else
    EXPECT_EQ(CZipPath::NativeStyle(), P);
    EXPECT_EQ(CZipPath("/tmp/a.zip").FolderPath(), "/tmp");
#endif
}
