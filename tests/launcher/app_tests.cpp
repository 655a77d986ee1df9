// The application object's reading of its command line.
#include <gtest/gtest.h>

#include "launcher/launcher_app.h"
#include "test_support.h"

using namespace testsupport;

namespace {

struct Switches {
    std::string workParent;
    int noWindow;
};

Switches AppWith(std::vector<std::string> arguments) {
    CLauncherApp app;
    app.SetArguments(std::move(arguments));
    app.ReadSwitches();
    return {app.workParent, app.noWindow};
}

TEST(ArgumentSearch, FirstArgumentContainingTheKeyInAnyCaseFromArgumentZeroOn) {
    CLauncherApp app;
    app.SetArguments({"C:/Stuff/x.exe", "/silent", "/S"});
    EXPECT_EQ(app.FindArgument("/s"), "C:/Stuff/x.exe") << "argument 0 is searched too";
    app.SetArguments({"setup.exe", "a", "x/silent", "/S"});
    EXPECT_EQ(app.FindArgument("/S"), "x/silent") << "substring, first match, own case";
    EXPECT_EQ(app.FindArgument("/T:"), "");
}

TEST(Switches, SilentSwitchInEveryForm) {
    for (const char* argument : {"/s", "/S", "/SILENT", "/T:C:/Setup"}) {
        EXPECT_EQ(AppWith({"setup.exe", argument}).noWindow, 1) << argument;
    }
    EXPECT_EQ(AppWith({"setup.exe", "a", "b"}).noWindow, 0);
}

TEST(Switches, ParentFolderOnlyWhenItExistsTrailingSeparatorsRemoved) {
    ScratchDir folder;
    std::string doubled = folder.Path() + kSep + kSep;
    EXPECT_EQ(AppWith({"setup.exe", "/t:" + doubled}).workParent, folder.Path());

    const std::string file = folder / "plain-file";
    WriteFile(file, "x");
    EXPECT_EQ(AppWith({"setup.exe", "/T:" + file}).workParent, file) << "a plain file passes the existence test";

    EXPECT_EQ(AppWith({"setup.exe", "/T:" + (folder / "missing")}).workParent, "");
    EXPECT_EQ(AppWith({"setup.exe", "/T:" + (folder / "missing"), "/T:" + folder.Path()}).workParent, "")
        << "a later /T: is never tried";
    EXPECT_EQ(AppWith({"setup.exe", "x/T:" + folder.Path()}).workParent, "")
        << "the value is the argument without its first three characters";
}

}  // namespace
