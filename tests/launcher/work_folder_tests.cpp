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

// The sweep takes unheld work folders with content, and nothing else: not a
// folder a run holds, not an empty one (a run may not have marked it yet),
// not other names.
TEST(WorkFolderTest, SweepTakesOnlyStaleWorkFolders) {
    ScratchDir parent;
    CWorkFolderMark mark;
    const std::string live = CreateWorkFolder(parent.Path(), nullptr, &mark);
    ASSERT_TRUE(mark.IsHeld());
    WriteFile(live + kSep + "in-use.txt", "x");
    MakeFolder(parent / "kv_ext_temp_3");
    for (const char* name : {"kv_ext_temp_4", "kv_ext_temp_5x", "other"}) {
        MakeFolder(parent / name);
        MakeFolder(parent / name + kSep + "sub");
        WriteFile(parent / name + kSep + "sub" + kSep + "f.txt", "stale");
    }
    SweepStaleWorkFolders(parent.Path());
    EXPECT_TRUE(Exists(live + kSep + "in-use.txt"));
    EXPECT_TRUE(IsFolder(parent / "kv_ext_temp_3"));
    EXPECT_FALSE(Exists(parent / "kv_ext_temp_4"));
    EXPECT_TRUE(Exists(parent / "kv_ext_temp_5x"));
    EXPECT_TRUE(Exists(parent / "other"));

    // Released, the folder is stale: the next run's sweep takes it, and the
    // new run gets the smallest free number.
    mark.Release();
    CWorkFolderMark next;
    EXPECT_EQ(CreateWorkFolder(parent.Path(), nullptr, &next), live);
    EXPECT_FALSE(Exists(live + kSep + "in-use.txt"));
}

#ifdef _WIN32
#include <aclapi.h>
#include <sddl.h>

#include <set>

#include "framework/scoped_win_handle.h"
#include "launcher/work_folder_security_win.h"

namespace {

// What a DACL grants: the SIDs of its access-allowed entries in text form,
// whether every entry reaches files and subfolders, and whether the
// descriptor shields the DACL from the parent's entries.
struct DaclSummary {
    std::set<std::string> sids;
    bool allInheritable = true;
    bool onlyAllowed = true;
    bool isProtected = false;
};

DaclSummary Summarize(PSECURITY_DESCRIPTOR descriptor, PACL dacl) {
    DaclSummary summary;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    summary.isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD index = 0; dacl && index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(dacl, index, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) summary.onlyAllowed = false;
        const BYTE both = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        if ((allowed->Header.AceFlags & both) != both) summary.allInheritable = false;
        char* text = nullptr;
        if (ConvertSidToStringSidA(&allowed->SidStart, &text)) {
            summary.sids.insert(text);
            LocalFree(text);
        }
    }
    return summary;
}

std::string CurrentUserSidText() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return "";
    ScopedWinHandle token(rawToken);
    unsigned char user[512];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, user, sizeof user, &size)) return "";
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) return "";
    std::string sid(text);
    LocalFree(text);
    return sid;
}

}  // namespace

TEST(WorkFolderTest, PrivateDaclForTheUserSystemAndAdministratorsOnly) {
    const std::string user = CurrentUserSidText();
    ASSERT_FALSE(user.empty());
    const std::set<std::string> owners = {"S-1-5-18", "S-1-5-32-544", user};

    // The descriptor the folder is created with.
    CPrivateFolderSecurity security;
    ASSERT_NE(security.Attributes(), nullptr);
    PSECURITY_DESCRIPTOR built = security.Attributes()->lpSecurityDescriptor;
    BOOL present = FALSE, defaulted = FALSE;
    PACL builtDacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(built, &present, &builtDacl, &defaulted));
    ASSERT_TRUE(present && builtDacl);
    const DaclSummary wanted = Summarize(built, builtDacl);
    EXPECT_EQ(wanted.sids, owners);
    EXPECT_TRUE(wanted.isProtected) << "the parent's entries must not reach the work folder";
    EXPECT_TRUE(wanted.allInheritable) << "files and folders inside get the same entries";
    EXPECT_TRUE(wanted.onlyAllowed);

    // The folder as the system keeps it. Wine keeps no DACLs of its own (it
    // maps them to the Unix mode and back), so only "nobody else" can be read
    // back there; Windows gives back the descriptor above.
    ScratchDir parent;
    const std::string folder = CreateWorkFolder(parent.Path());
    ASSERT_FALSE(folder.empty());
    ScopedWinHandle handle(CreateFileA(folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(handle.IsValid());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const DaclSummary kept = Summarize(descriptor, dacl);
    LocalFree(descriptor);
    EXPECT_TRUE(kept.onlyAllowed);
    EXPECT_EQ(kept.sids.count(user), 1u);
    for (const std::string& sid : kept.sids) EXPECT_EQ(owners.count(sid), 1u) << sid << " may enter the work folder";
}
#endif
