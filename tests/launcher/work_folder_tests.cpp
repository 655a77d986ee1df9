// Naming and creating the work folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "launcher/work_folder.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;

TEST(WorkFolderTest, WithParentTakesSmallestFreeNumber) {
    ScratchDir parent;
    const std::string first = CreateWorkFolder(parent.Path());
    EXPECT_EQ(first, parent / "kv_ext_temp_0");
    EXPECT_TRUE(IsFolder(first));
    EXPECT_EQ(CreateWorkFolder(parent.Path()), parent / "kv_ext_temp_1");  // a folder takes the name
    WriteFile(parent / "kv_ext_temp_2", "plain file");                       // so does a plain file
    EXPECT_EQ(CreateWorkFolder(parent.Path() + kSep + kSep), parent / "kv_ext_temp_3");
    EXPECT_EQ(ReadFile(parent / "kv_ext_temp_2"), "plain file");
#ifndef _WIN32
    struct stat st;
    ASSERT_EQ(stat(first.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
}

TEST(WorkFolderTest, TemporaryFolderWithoutParent) {
    ScratchDir temp;
    const std::string withSeparators = temp.Path() + kSep + kSep;
#ifdef _WIN32
    char oldTmp[1024] = "", oldTemp[1024] = "";
    GetEnvironmentVariableA("TMP", oldTmp, sizeof oldTmp);
    GetEnvironmentVariableA("TEMP", oldTemp, sizeof oldTemp);
    SetEnvironmentVariableA("TMP", withSeparators.c_str());
    SetEnvironmentVariableA("TEMP", withSeparators.c_str());
    const std::string folder = CreateWorkFolder("");
    SetEnvironmentVariableA("TMP", oldTmp);
    SetEnvironmentVariableA("TEMP", oldTemp);
#else
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", withSeparators.c_str(), 1);
    const std::string folder = CreateWorkFolder("");
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
#endif
    EXPECT_EQ(folder, temp / "kv_ext_temp_0");
    EXPECT_TRUE(IsFolder(folder));
}

// A parent that cannot hold the folder gives "" at once instead of a name
// that nobody created.
TEST(WorkFolderTest, MissingParentGivesEmpty) {
    ScratchDir parent;
    EXPECT_EQ(CreateWorkFolder(parent / "missing"), "");
    WriteFile(parent / "file", "x");
    EXPECT_EQ(CreateWorkFolder(parent / "file"), "");
}

#ifndef _WIN32
// A link planted under the next name is passed over, never followed.
TEST(WorkFolderTest, PlantedLinkIsPassedOver) {
    ScratchDir parent;
    ASSERT_EQ(symlink((parent / "elsewhere").c_str(), (parent / "kv_ext_temp_0").c_str()), 0);
    EXPECT_EQ(CreateWorkFolder(parent.Path()), parent / "kv_ext_temp_1");
    EXPECT_FALSE(Exists(parent / "elsewhere"));
}
#endif
