// The application object's reading of its command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(ArgumentSearch, ArgumentZeroIsNeverSearched) {
    CLauncherApp app;
    app.SetArguments({"C:/Stuff/x.exe", "/silent", "/S"});
#ifdef _WIN32
    EXPECT_EQ(app.FindArgument("/s"), "/silent") << "substring, first match, own case";
#else
    EXPECT_EQ(app.FindArgument("/s"), "/S") << "a whole argument only";
#endif
    app.SetArguments({"/S"});
    EXPECT_EQ(app.FindArgument("/S"), "");
    EXPECT_EQ(app.FindArgument("/T:"), "");
}

TEST(Switches, SilentSwitchInEveryForm) {
#ifdef _WIN32
    const std::vector<std::string> silent = {"/s", "/S", "/SILENT", "x/silent", "/T:C:/Setup"};
    const std::vector<std::string> notSilent = {"a", "-s"};
#else
    // Linux paths carry "/s" everywhere: only the switch itself counts.
    const std::vector<std::string> silent = {"/s", "/S"};
    const std::vector<std::string> notSilent = {"/SILENT", "--data=/srv/x", "/T:/srv", "./setup.run", "/S "};
#endif
    for (const std::string& argument : silent) EXPECT_EQ(AppWith({"setup", argument}).noWindow, 1) << argument;
    for (const std::string& argument : notSilent) EXPECT_EQ(AppWith({"setup", argument}).noWindow, 0) << argument;
    EXPECT_EQ(AppWith({"/srv/setup", "a", "b"}).noWindow, 0);
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
