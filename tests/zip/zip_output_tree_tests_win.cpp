// Extraction targets on Windows: files go into the folders that were made
// (held open), and nothing that holds a file's name is ever written through.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/file_exception.h"
#include "test_support.h"
#include "zip/zip_file.h"
#include "zip/zip_output_tree.h"

using namespace testsupport;

namespace {

void Create(CZipOutputTree& tree, const std::string& root, const std::string& relative,
            const std::string& bytes, uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE) {
    CZipFile file;
    tree.CreateOutputFile(root, relative, Join(root, relative), attributes, file);
    file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(CZipOutputTree::FinishFile(file, 1000000000, attributes));
}

}  // namespace

// Wine cannot make junctions or Windows symbolic links, and follows Unix
// links whatever the open asks; what it shows is a folder from outside
// swapped in for one being written to, and a hard link to an outside file
// in place of a file name.
TEST(ZipOutputTreeWin, SwappedInFoldersAndLinkedFilesAreNeverWrittenThrough) {
    ScratchDir dir;
    const std::string root = dir / "work";
    const std::string outside = dir / "outside";
    MakeFolder(root);
    MakeFolder(outside);
    WriteFile(Join(outside, "secret"), "keep");
    CZipOutputTree tree;

    ASSERT_TRUE(tree.ForceFolder(root, "a\\b"));
    Create(tree, root, "a\\b\\one", "1");
    // Windows itself refuses to move a folder that has folders open inside.
    if (!MoveFileA(Join(root, "a").c_str(), Join(root, "moved").c_str()))
        GTEST_SKIP() << "this system holds folders in use in place";
    ASSERT_TRUE(MoveFileA(outside.c_str(), Join(root, "a").c_str()));
    Create(tree, root, "a\\b\\two", "2");
    EXPECT_EQ(ReadFile(Join(root, "moved\\b\\two")), "2");
    EXPECT_FALSE(Exists(Join(root, "a\\b")));

    // A hard link to the outside file in place of the file: replaced, the
    // outside file keeps its bytes. Time and attributes reach the new file.
    ASSERT_TRUE(CreateHardLinkA(Join(root, "file").c_str(), Join(root, "a\\secret").c_str(), nullptr));
    Create(tree, root, "file", "new", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ReadFile(Join(root, "file")), "new");
    EXPECT_EQ(ReadFile(Join(root, "a\\secret")), "keep");
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(Join(root, "file").c_str(), GetFileExInfoStandard, &data));
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    const unsigned long long written =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, 1000000000ULL * 10000000ULL + 116444736000000000ULL);
    SetFileAttributesA(Join(root, "file").c_str(), FILE_ATTRIBUTE_NORMAL);  // lets the scratch folder go
}

// Extraction reaches any depth below the target folder (names relative to
// open folders know no MAX_PATH); a component beyond the 255 UTF-16 units a
// file system keeps is refused.
TEST(ZipOutputTreeWin, PathsBeyondMaxPathAndNamesWithinTheirLimit) {
    ScratchDir dir;
    const std::string root = dir / "work";
    MakeFolder(root);
    const std::string a(200, 'a'), b(200, 'b');
    CZipOutputTree tree;
    Create(tree, root, a + "\\" + b + "\\" + std::string(200, 'f'), "deep");
    const std::wstring wide(root.begin(), root.end());
    const std::wstring folders[] = {L"\\\\?\\" + wide + L"\\" + std::wstring(200, L'a'),
                                    folders[0] + L"\\" + std::wstring(200, L'b')};
    const std::wstring file = folders[1] + L"\\" + std::wstring(200, L'f');
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);

    CZipFile refused;
    try {
        tree.CreateOutputFile(root, std::string(256, 'n'), Join(root, std::string(256, 'n')), 0, refused);
        ADD_FAILURE() << "a name of 256 units was created";
    } catch (CFileException* error) {
        EXPECT_EQ(error->cause, CFileException::CauseBadPath);
        error->Delete();
    }
    tree.Reset();
    EXPECT_TRUE(DeleteFileW(file.c_str()) && RemoveDirectoryW(folders[1].c_str()) &&
                RemoveDirectoryW(folders[0].c_str()));
}

// The session's end cleans up in the middle of an entry: the file being
// written can be deleted, and is gone once its writer closes it.
TEST(ZipOutputTreeWin, FileBeingWrittenCanBeDeleted) {
    ScratchDir dir;
    const std::string root = dir / "work";
    MakeFolder(root);
    CZipOutputTree tree;
    CZipFile file;
    tree.CreateOutputFile(root, "part.bin", Join(root, "part.bin"), FILE_ATTRIBUTE_ARCHIVE, file);
    file.Write("data", 4);
    EXPECT_TRUE(DeleteFileA(Join(root, "part.bin").c_str())) << GetLastError();
    file.Close();
    tree.Reset();
    EXPECT_EQ(GetFileAttributesA(Join(root, "part.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(RemoveDirectoryA(root.c_str())) << GetLastError();
}
