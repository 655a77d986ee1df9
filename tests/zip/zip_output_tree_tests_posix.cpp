// Extraction targets on Linux: nothing is ever written through a link, even
// when the tree is changed between two files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "framework/file_exception.h"
#include "test_support.h"
#include "zip/zip_file.h"
#include "zip/zip_output_tree.h"

using namespace testsupport;

namespace {

void Create(CZipOutputTree& tree, const std::string& root, const std::string& relative,
            const std::string& bytes, uint32_t attributes = 0x20) {
    CZipFile file;
    tree.CreateOutputFile(root, relative, root + "/" + relative, attributes, file);
    file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(CZipOutputTree::FinishFile(file, 1000000000, attributes));
}

// True when creating `relative` throws a file error.
bool CreateFails(CZipOutputTree& tree, const std::string& root, const std::string& relative) {
    try {
        Create(tree, root, relative, "x");
    } catch (CFileException* error) {
        error->Delete();
        return true;
    }
    return false;
}

}  // namespace

TEST(ZipOutputTreePosix, LinksSwappedInAreNeverFollowed) {
    ScratchDir dir;
    const std::string root = dir / "work";
    const std::string outside = dir / "outside";
    MakeFolder(root);
    MakeFolder(outside);
    WriteFile(outside + "/secret", "keep");
    CZipOutputTree tree;

    ASSERT_TRUE(tree.ForceFolder(root, "a/b"));
    Create(tree, root, "a/b/one", "1");
    // The folder written to is replaced by a link to the outside: the next
    // file still goes into the folder that was made (held open), not there.
    ASSERT_EQ(rename((root + "/a").c_str(), (root + "/moved").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (root + "/a").c_str()), 0);
    Create(tree, root, "a/b/two", "2");
    EXPECT_EQ(ReadFile(root + "/moved/b/two"), "2");
    // A path that has to be walked again meets the link and is refused.
    EXPECT_FALSE(tree.ForceFolder(root, "a/c"));
    EXPECT_TRUE(CreateFails(tree, root, "a/c/three"));

    // A link in place of the file itself is replaced, its target untouched.
    ASSERT_EQ(symlink((outside + "/secret").c_str(), (root + "/file").c_str()), 0);
    Create(tree, root, "file", "new");
    struct stat st;
    ASSERT_EQ(lstat((root + "/file").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ReadFile(root + "/file"), "new");
    EXPECT_EQ(ReadFile(outside + "/secret"), "keep");
    EXPECT_EQ(st.st_mtime, 1000000000);

    // Nothing was made outside.
    EXPECT_FALSE(Exists(outside + "/b"));
    EXPECT_FALSE(Exists(outside + "/c"));
}

// Paths far deeper than any limit on open descriptors are made one level at
// a time with a bounded number of folders held open.
TEST(ZipOutputTreePosix, DeepPathsHoldFewFolders) {
    ScratchDir dir;
    const std::string root = dir / "work";
    MakeFolder(root);
    std::string relative;
    for (int level = 0; level < 300; ++level) relative += (level ? "/d" : "d");
    CZipOutputTree tree;
    const int before = dup(0);
    close(before);
    ASSERT_TRUE(tree.ForceFolder(root, relative));
    Create(tree, root, relative + "/leaf", "deep");
    const int after = dup(0);
    close(after);
    EXPECT_LE(after - before, 3);
    EXPECT_TRUE(tree.ForceFolder(root, relative));  // known now
}
