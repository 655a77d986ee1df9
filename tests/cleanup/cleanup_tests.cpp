// Folder cleanup over real trees in a scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "cleanup/file_record_list.h"
#include "cleanup/folder_cleaner.h"
#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#undef SetWindowText  // the framework's member, not the Win32 macro
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

#ifdef _WIN32
void MakeReadOnly(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY); }
void MakeHidden(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}
const char* const kHiddenName = "hidden.dat";
#else
void MakeReadOnly(const std::string& path) { chmod(path.c_str(), 0444); }
void MakeHidden(const std::string&) {}  // a leading dot is what hides a file here
const char* const kHiddenName = ".hidden";
#endif

// Records every message; a hook may act when a given message arrives.
class RecordingCleaner : public CFolderCleaner {
public:
    void Report(std::string message) override {
        messages.push_back(message);
        if (hook) hook(message);
    }
    int Count(const std::string& message) const {
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }
    std::vector<std::string> messages;
    std::function<void(const std::string&)> hook;
};

class RecordingBar : public CProgressCtrl {
public:
    void SetRange32(int lower, int upper) override { ranges.emplace_back(lower, upper); }
    int SetPos(int position) override {
        positions.push_back(position);
        return 0;
    }
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
};

class RecordingText : public CWnd {
public:
    void SetWindowText(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// Builds, below root:
//   top.txt  top.log  <hidden>
//   a/  a1.txt (read-only)  a/b/  b1.txt  b2.log  a/b/c/ (empty)
//   empty/
int MakeTree(const std::string& root) {
    WriteFile(Join(root, "top.txt"), "1");
    WriteFile(Join(root, "top.log"), "2");
    WriteFile(Join(root, kHiddenName), "3");
    MakeHidden(Join(root, kHiddenName));
    MakeFolder(Join(root, "a"));
    WriteFile(Join(root, "a/a1.txt"), "4");
    MakeReadOnly(Join(root, "a/a1.txt"));
    MakeFolder(Join(root, "a/b"));
    WriteFile(Join(root, "a/b/b1.txt"), "5");
    WriteFile(Join(root, "a/b/b2.log"), "6");
    MakeFolder(Join(root, "a/b/c"));
    MakeFolder(Join(root, "empty"));
    return 6;  // files
}

std::string P(const std::string& root, std::string relative) {
    for (char& c : relative)
        if (c == '/') c = kSep;
    return Join(root, relative);
}

std::string AllOf(const std::string& root) { return Join(root, "*.*"); }

// Puts a folder with a file in it where a listed file was: a name that no
// file deletion can remove.
void PutFolderInPlace(const std::string& path) {
    RemoveTree(path);
    MakeFolder(path);
    WriteFile(Join(path, "inner"), "i");
}

bool IsEmptyFolder(const std::string& path) {
    CleanupFs::CFolderSearch search;
    CleanupFs::CFileRecord entry;
    for (bool found = search.First(path, "*", entry); found; found = search.Next(entry))
        if (entry.name != "." && entry.name != "..") return false;
    return IsFolder(path);
}

}  // namespace

// Every rule in its order; a rejected source touches nothing.
TEST(FolderCleanerTest, ValidationRulesRejectInOrder) {
    ScratchDir dir;
    WriteFile(dir / "keep.txt", "x");
#ifdef _WIN32
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Source was empty"},
        {"ab", "Source was less than 4 characters"},
        {"C:\\", "Source was less than 4 characters"},
        {"C:\\t\\w\\", "Source ends with a slash"},
        {"t\\w\\*.*", "Source did not have drive specifier"},
        {"C:/t/w/*.*", "Source contains invalid character"},
        {"C:\\t\\a\"b\\*.*", "Source contains invalid character"},
        {"C:\\t\\a<b\\*.*", "Source contains invalid character"},
        {"C:\\t\\a>b\\*.*", "Source contains invalid character"},
        {"C:\\t\\a|b\\*.*", "Source contains invalid character"},
        {dir.Path() + "\\", "Source ends with a slash"},
    };
    const std::vector<std::string> accepted = {"\\\\server\\share\\w\\*.*", "C:\\t\\w\\*.*", "C:\\t\\w\\a?.txt"};
#else
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Source was empty"},
        {"ab", "Source was less than 4 characters"},
        {"/ab", "Source was less than 4 characters"},
        {"/t/w/", "Source ends with a slash"},
        {"t/w/*.*", "Source did not have drive specifier"},
        {"/t/a\"b/*.*", "Source contains invalid character"},
        {"/t/a<b/*.*", "Source contains invalid character"},
        {"/t/a>b/*.*", "Source contains invalid character"},
        {"/t/a|b/*.*", "Source contains invalid character"},
        {dir.Path() + "/", "Source ends with a slash"},
    };
    const std::vector<std::string> accepted = {"/t/w/*.*", "/t/w/a?.txt", "/t/w/x"};
#endif
    for (const auto& [source, message] : cases) {
        RecordingCleaner cleaner;
        cleaner.source = source;
        cleaner.includeSubfolders = 1;
        EXPECT_EQ(cleaner.Clean(false), CleanSourceRejected) << source;
        EXPECT_EQ(cleaner.messages,
                  (std::vector<std::string>{"Start deleting files", message, "Invalid source", "End deleting files"}))
            << source;
        EXPECT_EQ(cleaner.failedFiles, source);
    }
    for (const std::string& source : accepted) {
        RecordingCleaner cleaner;
        cleaner.source = source;
        EXPECT_TRUE(cleaner.Validate()) << source;
        EXPECT_TRUE(cleaner.messages.empty()) << source;
    }
    EXPECT_TRUE(Exists(dir / "keep.txt"));
}

// The launcher's use: the whole tree goes, read-only and hidden files too,
// the top folder stays; bar and status text follow the work.
TEST(FolderCleanerTest, CleansWholeTreeAndKeepsTopFolder) {
    ScratchDir dir;
    const std::string root = dir / "kv_ext_temp_0";
    MakeFolder(root);
    const int files = MakeTree(root);

    RecordingCleaner cleaner;
    RecordingBar bar;
    RecordingText status;
    cleaner.source = AllOf(root);
    cleaner.includeSubfolders = cleaner.continueOnError = cleaner.deleteHiddenSystem = 1;
    cleaner.progressBar = &bar;
    cleaner.statusText = &status;
    EXPECT_EQ(cleaner.Clean(true), CleanSucceeded);

    EXPECT_TRUE(IsEmptyFolder(root));
    EXPECT_EQ(cleaner.failedFiles, "");
    EXPECT_EQ(cleaner.total, files + 4);  // a, a/b, a/b/c, empty
    EXPECT_EQ(cleaner.processed, files);
    EXPECT_EQ(cleaner.Count("Delete successful"), files);
    EXPECT_EQ(cleaner.Count("Delete failed"), 0);
    EXPECT_EQ(cleaner.messages.front(), "Start deleting files");
    EXPECT_EQ(cleaner.messages.back(), "End deleting files");

    ASSERT_EQ(bar.ranges, (std::vector<std::pair<int, int>>{{0, 100}}));
    ASSERT_EQ(bar.positions.size(), static_cast<size_t>(files + 2));
    EXPECT_EQ(bar.positions.front(), 0);
    // processed / total * 100, truncated: 6 of 10 records are files.
    EXPECT_EQ(std::vector<int>(bar.positions.begin() + 1, bar.positions.end() - 1),
              (std::vector<int>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(bar.positions.back(), 100);
    ASSERT_FALSE(status.texts.empty());
    EXPECT_EQ(status.texts.back(), "Done");
    EXPECT_EQ(status.texts.size(), static_cast<size_t>(files + 1));
}

// The pattern filters files only; subfolders are walked and removed where
// they became empty.
TEST(FolderCleanerTest, PatternKeepsOtherFiles) {
    ScratchDir dir;
    MakeTree(dir.Path());
    MakeFolder(dir / "txtonly");
    WriteFile(P(dir.Path(), "txtonly/x.txt"), "x");

    RecordingCleaner cleaner;
    cleaner.source = Join(dir.Path(), "*.txt");
    cleaner.includeSubfolders = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_FALSE(Exists(dir / "top.txt"));
    EXPECT_FALSE(Exists(P(dir.Path(), "a/a1.txt")));
    EXPECT_FALSE(Exists(P(dir.Path(), "a/b/b1.txt")));
    EXPECT_FALSE(Exists(dir / "txtonly"));
    EXPECT_FALSE(Exists(dir / "empty"));
    EXPECT_FALSE(Exists(P(dir.Path(), "a/b/c")));
    EXPECT_TRUE(Exists(dir / "top.log"));
    EXPECT_TRUE(Exists(P(dir.Path(), "a/b/b2.log")));
    EXPECT_TRUE(Exists(dir / kHiddenName));
    EXPECT_EQ(cleaner.Count("Delete successful"), 4);
}

TEST(FolderCleanerTest, SourceWithoutWildcardsDeletesOneFile) {
    ScratchDir dir;
    MakeTree(dir.Path());
    RecordingCleaner cleaner;
    cleaner.source = dir / "top.log";
    cleaner.includeSubfolders = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_FALSE(Exists(dir / "top.log"));
    EXPECT_TRUE(Exists(dir / "top.txt"));
    EXPECT_TRUE(Exists(P(dir.Path(), "a/b/b1.txt")));
    EXPECT_TRUE(IsFolder(dir.Path()));
}

// A file that cannot be deleted: reported, listed without a leading comma,
// the others still go and the folder pass still runs.
TEST(FolderCleanerTest, UndeletableFilesWithContinueOnError) {
    ScratchDir dir;
    MakeTree(dir.Path());
    const std::string stuck1 = dir / "top.log";
    const std::string stuck2 = P(dir.Path(), "a/b/b1.txt");

    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    // When its turn comes, each of the two becomes a folder with content:
    // a name that no file deletion can remove.
    cleaner.hook = [&](const std::string& message) {
        if (message != stuck1 && message != stuck2) return;
        PutFolderInPlace(message);
    };
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.Count("Delete failed"), 2);
    EXPECT_EQ(cleaner.Count("Failed to delete one or more files"), 1);
    EXPECT_EQ(cleaner.Count("Delete successful"), 4);
    // In walk order: a folder's files come before its subfolders'.
    EXPECT_EQ(cleaner.failedFiles, stuck1 + "," + stuck2);
    EXPECT_FALSE(Exists(dir / "top.txt"));
    EXPECT_FALSE(Exists(P(dir.Path(), "a/a1.txt")));
    EXPECT_FALSE(Exists(dir / "empty"));
    EXPECT_FALSE(Exists(P(dir.Path(), "a/b/c")));
    EXPECT_TRUE(Exists(Join(stuck1, "inner")));
    EXPECT_TRUE(Exists(Join(stuck2, "inner")));
    EXPECT_TRUE(IsFolder(dir.Path()));
}

TEST(FolderCleanerTest, UndeletableFileWithoutContinueOnErrorStops) {
    ScratchDir dir;
    MakeTree(dir.Path());
    const std::string stuck = dir / "top.log";
    RecordingCleaner cleaner;
    RecordingText status;
    cleaner.statusText = &status;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = 1;
    cleaner.hook = [&](const std::string& message) {
        if (message != stuck) return;
        PutFolderInPlace(message);
    };
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.failedFiles, stuck);
    EXPECT_TRUE(Exists(dir / "top.txt"));  // later in the walk: untouched
    EXPECT_TRUE(Exists(P(dir.Path(), "a/a1.txt")));
    EXPECT_TRUE(Exists(dir / "empty"));
    EXPECT_EQ(status.texts.back(), "Error");
}

#ifdef _WIN32
// A file held open without delete sharing cannot be deleted.
TEST(FolderCleanerTest, FileHeldOpenWithoutDeleteSharing) {
    ScratchDir dir;
    MakeTree(dir.Path());
    const std::string held = P(dir.Path(), "a/a1.txt");
    SetFileAttributesA(held.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    EXPECT_EQ(cleaner.Clean(true), CleanFailed);
    CloseHandle(file);
    EXPECT_EQ(cleaner.failedFiles, held);
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Exists(P(dir.Path(), "a/b")));  // emptied and removed
    EXPECT_FALSE(Exists(dir / "top.txt"));
}
#else
// Without write permission on its folder a file cannot be deleted, except by
// root, which ignores permissions.
TEST(FolderCleanerTest, FileInWriteProtectedFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions; covered by the folder-swap tests";
    ScratchDir dir;
    MakeTree(dir.Path());
    const std::string locked = P(dir.Path(), "a/b");
    chmod(locked.c_str(), 0555);
    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(cleaner.failedFiles, Join(locked, "b1.txt") + "," + Join(locked, "b2.log"));
    EXPECT_FALSE(Exists(dir / "top.txt"));
}
#endif

// A listed file that vanished before its turn ends the work, even with
// continueOnError.
TEST(FolderCleanerTest, VanishedFileStopsTheWork) {
    ScratchDir dir;
    MakeTree(dir.Path());
    const std::string vanishing = dir / "top.log";
    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    cleaner.hook = [&](const std::string& message) {
        if (message == vanishing) RemoveTree(vanishing);
    };
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.Count("Delete failed"), 1);
    EXPECT_EQ(cleaner.failedFiles, "");
    EXPECT_TRUE(Exists(dir / "top.txt"));
    EXPECT_TRUE(Exists(dir / "empty"));
}

TEST(FolderCleanerTest, CancelFlagStopsBeforeTheNextFile) {
    ScratchDir dir;
    MakeTree(dir.Path());
    int cancel = 0;
    RecordingCleaner cleaner;
    RecordingBar bar;
    cleaner.progressBar = &bar;
    cleaner.cancelFlag = &cancel;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    cleaner.hook = [&](const std::string& message) {
        if (message == "Delete successful") cancel = 1;
    };
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.Count("Delete successful"), 1);
    EXPECT_EQ(cleaner.processed, 2);
    EXPECT_NE(bar.positions.back(), 100);
    EXPECT_TRUE(Exists(dir / "top.txt"));
    EXPECT_TRUE(Exists(dir / "empty"));
}

// Hidden and system files left in place on request; the rest still goes.
TEST(FolderCleanerTest, HiddenFilesKeptWhenAsked) {
    ScratchDir dir;
    MakeTree(dir.Path());
    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = 1;
    cleaner.deleteHiddenSystem = 0;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_TRUE(Exists(dir / kHiddenName));
    EXPECT_FALSE(Exists(dir / "top.txt"));
    EXPECT_FALSE(Exists(dir / "top.log"));
    EXPECT_FALSE(Exists(dir / "a"));
    EXPECT_EQ(cleaner.Count(dir / kHiddenName), 0);
}

// A doubled separator before the pattern must not make the top folder look
// like one of its own subfolders.
TEST(FolderCleanerTest, TopFolderStaysWithDoubledSeparator) {
    ScratchDir dir;
    const std::string root = dir / "w";
    MakeFolder(root);
    MakeTree(root);
    RecordingCleaner cleaner;
    cleaner.source = root + kSep + kSep + "*.*";
    cleaner.includeSubfolders = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_TRUE(IsEmptyFolder(root));
}

// Without removeEmptiedFolders an emptied folder stays until the work is
// done, then every emptied folder goes.
TEST(FolderCleanerTest, FoldersGoAtTheEndWithoutRemoveEmptiedFolders) {
    ScratchDir dir;
    MakeFolder(dir / "a");
    WriteFile(P(dir.Path(), "a/f.txt"), "a");
    MakeFolder(dir / "b");
    WriteFile(P(dir.Path(), "b/f.txt"), "b");
    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = 1;
    cleaner.removeEmptiedFolders = 0;
    bool emptiedStayed = false;
    cleaner.hook = [&](const std::string& message) {
        if (message == P(dir.Path(), "b/f.txt")) emptiedStayed = IsFolder(dir / "a");
    };
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_TRUE(emptiedStayed);
    EXPECT_TRUE(IsEmptyFolder(dir.Path()));
}

// A quit request that arrives before or during the cleanup does not stop it
// and is still pending afterwards.
TEST(FolderCleanerTest, QuitRequestStaysPending) {
    ScratchDir dir;
    MakeTree(dir.Path());
    PostQuitRequest(0);
    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = 1;
    EXPECT_EQ(cleaner.Clean(true), CleanSucceeded);
    EXPECT_TRUE(IsEmptyFolder(dir.Path()));
    ASSERT_TRUE(MessageWaiting());
    EXPECT_FALSE(PumpMessage());  // the quit message
}

TEST(FolderCleanerTest, CompactPath) {
#ifdef _WIN32
    EXPECT_EQ(CFolderCleaner::CompactPath("C:\\one\\two\\three\\file.txt", 20), "C:\\one\\...\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("C:\\one\\two\\three\\file.txt", 10), "C:\\...\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("C:\\one\\two\\three\\file.txt", 25), "C:\\one\\two\\three\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("C:\\one\\two\\three\\file.txt", 23), "C:\\one\\two\\...\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("C:\\one\\two\\three\\file.txt", 18), "C:\\...\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("\\\\server\\share\\a\\b\\file.txt", 26), "\\\\server\\...\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("\\\\server\\share\\a\\bbbbbbbbb\\file.txt", 28),
              "\\\\server\\share\\...\\file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("\\\\server-without-share", 5), "\\\\server-without-share");
    EXPECT_EQ(CFolderCleaner::CompactPath("C:\\averyveryverylongname.txt", 10), "C:\\averyveryverylongname.txt");
#else
    EXPECT_EQ(CFolderCleaner::CompactPath("/one/two/three/file.txt", 18), "/one/.../file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("/one/two/three/file.txt", 10), "/.../file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("/one/two/three/file.txt", 23), "/one/two/three/file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("/one/two/three/file.txt", 21), "/one/two/.../file.txt");
    EXPECT_EQ(CFolderCleaner::CompactPath("/averyveryverylongname.txt", 10), "/averyveryverylongname.txt");
#endif
}

// Links are removed as links and never walked into: a tree made by the test
// generator holds a link to a folder outside it. The count for the progress
// bar walks it all; the cancel flag stops the deletion before its first file.
TEST(FolderCleanerTest, WalkNeverEntersFolderLinks) {
    const std::string tree = TestData("cleanup/links/tree");
    ASSERT_TRUE(IsFolder(tree));
    int cancel = 1;
    RecordingCleaner cleaner;
    RecordingBar bar;
    cleaner.progressBar = &bar;
    cleaner.cancelFlag = &cancel;
    cleaner.source = Join(tree, "*.*");
    cleaner.includeSubfolders = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.total, 4);  // a, a/f.txt, a/filelink.txt, dirlink
    // The link is a file of the top folder, handled before the subfolders.
    EXPECT_EQ(cleaner.Count(Join(tree, "dirlink")), 1);
    EXPECT_EQ(cleaner.processed, 1);
    EXPECT_TRUE(Exists(Join(tree, "dirlink")));
}

#ifndef _WIN32
TEST(FolderCleanerTest, LinksAreDeletedNotFollowed) {
    ScratchDir dir;
    const std::string outside = dir / "outside";
    MakeFolder(outside);
    WriteFile(Join(outside, "keep.txt"), "k");
    chmod(Join(outside, "keep.txt").c_str(), 0444);
    MakeFolder(Join(outside, "sub"));
    WriteFile(P(outside, "sub/inner.txt"), "i");
    const std::string root = dir / "w";
    MakeFolder(root);
    MakeFolder(Join(root, "a"));
    WriteFile(P(root, "a/f.txt"), "f");
    ASSERT_EQ(symlink(Join(outside, "keep.txt").c_str(), P(root, "a/filelink.txt").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), Join(root, "dirlink").c_str()), 0);
    ASSERT_EQ(symlink(Join(outside, "sub").c_str(), P(root, "a/sublink").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/target", Join(root, "dangling").c_str()), 0);

    RecordingCleaner cleaner;
    cleaner.source = AllOf(root);
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_TRUE(IsEmptyFolder(root));
    EXPECT_EQ(ReadFile(Join(outside, "keep.txt")), "k");
    struct stat st;
    ASSERT_EQ(stat(Join(outside, "keep.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);  // the target's mode was not reset
    EXPECT_EQ(ReadFile(P(outside, "sub/inner.txt")), "i");
}

// Trees far deeper than any recursion or descriptor budget would allow are
// listed and removed.
TEST(FolderCleanerTest, DeepTreesAreRemoved) {
    ScratchDir dir;
    const std::string root = dir / "w";
    MakeFolder(root);
    std::string path = root;
    for (int level = 0; level < 300; ++level) {
        path += "/d";
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    }
    WriteFile(path + "/leaf.txt", "x");
    RecordingCleaner cleaner;
    cleaner.source = AllOf(root);
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    EXPECT_EQ(cleaner.Clean(false), CleanSucceeded);
    EXPECT_EQ(cleaner.processed, 1);
    EXPECT_TRUE(IsEmptyFolder(root));
}
#endif

// A listed folder swapped for another folder between the listing and its
// walk: nothing in that other folder is deleted, and the swapped name is a
// failure. Linux: a link to a folder outside the tree. Windows: the outside
// folder itself moved in (Wine can make no junction or Windows link, and
// follows Unix links whatever the open asks).
TEST(FolderCleanerTest, FolderSwappedAfterTheListing) {
    ScratchDir dir;
    const std::string outside = dir / "outside";
    MakeFolder(outside);
    WriteFile(Join(outside, "f.txt"), "outside");
    const std::string root = dir / "w";
    MakeFolder(root);
    MakeFolder(Join(root, "a"));
    WriteFile(P(root, "a/f.txt"), "inside");
    WriteFile(Join(root, "0.txt"), "0");

    RecordingCleaner cleaner;
    cleaner.source = AllOf(root);
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    // The top folder's file comes before its subfolders are walked.
    cleaner.hook = [&](const std::string& message) {
        if (message != Join(root, "0.txt")) return;
#ifdef _WIN32
        ASSERT_TRUE(MoveFileA(Join(root, "a").c_str(), Join(root, "moved").c_str()));
        ASSERT_TRUE(MoveFileA(outside.c_str(), Join(root, "a").c_str()));
#else
        ASSERT_EQ(rename(Join(root, "a").c_str(), Join(root, "moved").c_str()), 0);
        ASSERT_EQ(symlink(outside.c_str(), Join(root, "a").c_str()), 0);
#endif
    };
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.failedFiles, Join(root, "a"));
    EXPECT_EQ(ReadFile(P(root, "a/f.txt")), "outside");
    EXPECT_EQ(ReadFile(P(root, "moved/f.txt")), "inside");
    EXPECT_EQ(cleaner.Count(P(root, "a/f.txt")), 0);
    EXPECT_EQ(cleaner.Count("Delete successful"), 1);
}

// A folder with more subfolders than a batch holds is listed again for the
// rest, above the last name walked: every subfolder is walked once, and one
// that stayed (its file failed: turned into a folder with content when its
// turn came) is not met again.
TEST(FolderCleanerTest, SubfoldersBeyondOneBatchAreWalkedOnce) {
    ScratchDir dir;
    const int folders = static_cast<int>(CFileRecordList::MaxEntries + 10);
    for (int i = 0; i < folders; ++i) {
        const std::string folder = dir / ("d" + std::to_string(10000 + i));
        MakeFolder(folder);
        WriteFile(Join(folder, "f.txt"), "x");
    }
    const std::string stuck = P(dir.Path(), "d10005/f.txt");

    RecordingCleaner cleaner;
    cleaner.source = AllOf(dir.Path());
    cleaner.includeSubfolders = cleaner.continueOnError = 1;
    cleaner.hook = [&](const std::string& message) {
        if (message != stuck) return;
        PutFolderInPlace(message);
    };
    EXPECT_EQ(cleaner.Clean(false), CleanFailed);
    EXPECT_EQ(cleaner.processed, folders);
    EXPECT_EQ(cleaner.Count("Delete successful"), folders - 1);
    EXPECT_EQ(cleaner.failedFiles, stuck);
    EXPECT_TRUE(Exists(Join(stuck, "inner")));
    EXPECT_EQ(ListFolder(dir.Path()), std::vector<std::string>{"d10005"});
}
