// Argument text rules, and launches of the argv_dump helper, which writes
// back what it received.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "launcher/argument_text.h"
#include "launcher/batch_command_line.h"
#include "launcher/launch.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
#else
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
#endif
}

std::string ArgvDump() { return NativePath(ARGV_DUMP_PATH); }

struct Dump {
    std::string commandLine;  // Windows only
    std::string flags, show;  // Windows only
    std::string folder;
    std::vector<std::string> arguments;
};

Dump ParseDump(const std::string& text) {
    Dump dump;
    size_t at = 0;
    while (at < text.size()) {
        const size_t eq = text.find('=', at);
        const std::string key = text.substr(at, eq - at);
        if (key == "arg") {
            const size_t colon = text.find(':', eq);
            const size_t length = std::stoul(text.substr(eq + 1, colon - eq - 1));
            dump.arguments.push_back(text.substr(colon + 1, length));
            at = colon + 1 + length + 1;
            continue;
        }
        const size_t end = text.find('\n', eq);
        const std::string value = text.substr(eq + 1, end - eq - 1);
        if (key == "cmdline") dump.commandLine = value;
        if (key == "flags") dump.flags = value;
        if (key == "show") dump.show = value;
        if (key == "cwd") dump.folder = value;
        at = end + 1;
    }
    return dump;
}

bool WaitForFile(const std::string& path, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (Exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string Canonical(const std::string& path) {
#ifdef _WIN32
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    while (!lower.empty() && lower.back() == '\\') lower.pop_back();
    return lower;
#else
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
#endif
}

// Each test's dump goes to its own file in its own scratch folder.
class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        out = scratch / "dump.txt";
        SetEnv("ARGV_DUMP_OUT", out);
        SetEnv("ARGV_DUMP_SLEEP_MS", "");
    }
    void TearDown() override { WaitForFile(out, 20); }  // a started program ends before the folder goes
    Dump Result() { return ParseDump(ReadFile(out)); }

    ScratchDir scratch;
    std::string out;
};

}  // namespace

TEST(ArgumentTextTest, QuotesByRuntimeRules) {
    EXPECT_EQ(QuoteArgument("a"), "\"a\"");
    EXPECT_EQ(QuoteArgument("b c"), "\"b c\"");
    EXPECT_EQ(QuoteArgument(""), "\"\"");
    EXPECT_EQ(QuoteArgument("a\\b\\c"), "\"a\\b\\c\"");          // inner backslashes stay
    EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");  // say \"hi\"
    EXPECT_EQ(QuoteArgument("C:\\dir\\"), "\"C:\\dir\\\\\"");      // trailing one doubled
    EXPECT_EQ(QuoteArgument("a\\\\\"b"), "\"a\\\\\\\\\\\"b\"");    // two before a quote: five
    EXPECT_EQ(QuoteArgument("\\\\"), "\"\\\\\\\\\"");
}

TEST(ArgumentTextTest, ArgumentTextAndCommandLine) {
    const std::string text = BuildArgumentText({"a", "b c", "SFXSOURCE:C:\\Dist\\setup.exe"});
    EXPECT_EQ(text, "\"a\" \"b c\" \"SFXSOURCE:C:\\Dist\\setup.exe\"");
    EXPECT_EQ(BuildCommandLine("C:\\TEMP\\kv_ext_temp_0\\autorun.exe", text),
              "\"C:\\TEMP\\kv_ext_temp_0\\autorun.exe\" \"a\" \"b c\" \"SFXSOURCE:C:\\Dist\\setup.exe\"");
    EXPECT_EQ(BuildArgumentText({"SFXSOURCE:C:\\x.exe"}), "\"SFXSOURCE:C:\\x.exe\"");
    EXPECT_EQ(BuildArgumentText({}), "");
    EXPECT_EQ(BuildArgumentText({"", ""}), "\"\" \"\"");
    EXPECT_EQ(BuildCommandLine("C:\\T\\a.exe", ""), "C:\\T\\a.exe");
    EXPECT_EQ(BuildCommandLine("C:\\My T\\a.exe", ""), "\"C:\\My T\\a.exe\"");
}

// The started program gets exactly the launcher's arguments, in its working
// folder; also far beyond the old 499-character line.
TEST_F(LaunchTest, ArgumentsArriveExactly) {
    const std::vector<std::string> arguments = {
        "plain", "with space", "", "quote\"inside", "\"", "trail\\", "trail space\\ ", "two\\\\", "\\\\server\\share\\",
        "back\\\"slash", "tab\there", std::string(2000, 'x') + " \\\"y\\", "SFXSOURCE:" + ArgvDump()};
    ASSERT_EQ(LaunchProgram(ArgvDump(), arguments, scratch.Path(), 1, LaunchShowNormal), 0u);
    ASSERT_TRUE(Exists(out));
    const Dump dump = Result();
    EXPECT_EQ(dump.arguments, arguments);
    EXPECT_EQ(Canonical(dump.folder), Canonical(scratch.Path()));
#ifdef _WIN32
    EXPECT_EQ(dump.commandLine, BuildCommandLine(ArgvDump(), BuildArgumentText(arguments)));
    EXPECT_EQ(dump.flags, "1");  // STARTF_USESHOWWINDOW
    EXPECT_EQ(dump.show, "5");   // SW_SHOW
#endif
}

TEST_F(LaunchTest, NoArgumentsAndNoWorkingFolder) {
    ASSERT_EQ(LaunchProgram(ArgvDump(), {}, "", 1, LaunchShowNormal), 0u);
    const Dump dump = Result();
    EXPECT_TRUE(dump.arguments.empty());
    char here[4096] = "";
#ifdef _WIN32
    GetCurrentDirectoryA(sizeof here, here);
    EXPECT_EQ(dump.commandLine, ArgvDump());  // the bare program path
#else
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
#endif
    EXPECT_EQ(Canonical(dump.folder), Canonical(here));
}

TEST_F(LaunchTest, WaitReturnsOnlyAfterTheProgramEnded) {
    SetEnv("ARGV_DUMP_SLEEP_MS", "800");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LaunchProgram(ArgvDump(), {"w"}, scratch.Path(), 1, LaunchShowNormal), 0u);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(Exists(out));
    EXPECT_GE(elapsed, std::chrono::milliseconds(750));

    // Without the wait the call comes back while the program still sleeps.
    const std::string second = scratch / "second.txt";
    SetEnv("ARGV_DUMP_OUT", second);
    SetEnv("ARGV_DUMP_SLEEP_MS", "3000");
    ASSERT_EQ(LaunchProgram(ArgvDump(), {"n"}, scratch.Path(), 0, LaunchShowNormal), 0u);
    EXPECT_FALSE(Exists(second));
    EXPECT_TRUE(WaitForFile(second, 30));
}

TEST_F(LaunchTest, MissingProgramFailsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    // ERROR_FILE_NOT_FOUND on Windows, ENOENT on Linux: both 2.
    EXPECT_EQ(LaunchProgram(scratch / "missing.exe", {"a"}, scratch.Path(), 1, LaunchShowNormal), 2u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(LaunchProgram(ArgvDump(), {"a"}, scratch / "no-such-folder", 1, LaunchShowNormal), 0u);
    WriteFile(out, "");  // nothing was started; let TearDown pass
}

#ifdef _WIN32
TEST_F(LaunchTest, ShowModes) {
    const std::pair<int, const char*> modes[] = {{LaunchShowMinimized, "6"}, {LaunchShowMaximized, "3"}, {7, "0"}, {-1, "0"}};
    for (const auto& [mode, show] : modes) {
        const std::string file = scratch / ("show" + std::to_string(mode) + ".txt");
        SetEnv("ARGV_DUMP_OUT", file);
        ASSERT_EQ(LaunchProgram(ArgvDump(), {}, "", 1, mode), 0u);
        const Dump dump = ParseDump(ReadFile(file));
        EXPECT_EQ(dump.flags, "1");
        EXPECT_EQ(dump.show, std::string(show)) << mode;
    }
    WriteFile(out, "");
}

// Beyond the system's limit the launch is refused, never cut.
TEST_F(LaunchTest, OverlongCommandLineIsRefused) {
    const std::string program = ArgvDump();
    const size_t room = MaxCommandLineLength - 1 - (program.size() + 3);  // "program" and a space
    const std::string fits(room - 2, 'f');                                // plus its two quotes
    ASSERT_EQ(LaunchProgram(program, {fits}, "", 1, LaunchShowNormal), 0u);
    EXPECT_EQ(Result().arguments, std::vector<std::string>{fits});

    const std::string other = scratch / "other.txt";
    SetEnv("ARGV_DUMP_OUT", other);
    EXPECT_EQ(LaunchProgram(program, {fits + "f"}, "", 1, LaunchShowNormal),
              static_cast<unsigned long>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(Exists(other));
}

namespace {
std::vector<UINT> g_seen;
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_KEYFIRST && message <= WM_MOUSELAST) g_seen.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

// During the wait, messages are dispatched except mouse moves and left-button
// clicks.
TEST_F(LaunchTest, WaitDispatchesAllButLeftClicksAndMoves) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "kvsfx_launch_test";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("kvsfx_launch_test", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_seen.clear();
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_KEYDOWN})
        PostMessageA(window, message, 0, 0);
    SetEnv("ARGV_DUMP_SLEEP_MS", "300");
    ASSERT_EQ(LaunchProgram(ArgvDump(), {}, "", 1, LaunchShowNormal), 0u);
    DestroyWindow(window);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_RBUTTONDOWN, WM_KEYDOWN}));
}
#else
// Archives made on Windows carry no modes: the program gets its owner-execute
// bit before the start.
TEST_F(LaunchTest, ProgramWithoutExecuteBitIsStarted) {
    const std::string program = scratch / "prog";
    WriteFile(program, ReadFile(ArgvDump()));
    chmod(program.c_str(), 0644);
    ASSERT_EQ(LaunchProgram(program, {"x y"}, scratch.Path(), 1, LaunchShowNormal), 0u);
    EXPECT_EQ(Result().arguments, std::vector<std::string>{"x y"});
    struct stat st;
    ASSERT_EQ(stat(program.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0744u);
}
#endif

TEST(BatchCommandLineTest, BatchNamesQuotingAndRefusals) {
    for (const char* name : {"setup.bat", "SETUP.CMD", "x.Bat. .", "dir\\run.cmd"}) EXPECT_TRUE(IsBatchProgram(name)) << name;
    for (const char* name : {"setup.exe", "bat", ".bat.exe", "cmd"}) EXPECT_FALSE(IsBatchProgram(name)) << name;
    for (const char* text : {"a b", "x&calc&y", "<in>|out^", "!v!", "trail\\", ""})
        EXPECT_TRUE(PassesToBatchSafely(text)) << text;
    for (const char* text : {"x\" & calc & \"", "%PATH%", "50%", "a\rb", "a\nb"})
        EXPECT_FALSE(PassesToBatchSafely(text)) << text;
    EXPECT_FALSE(PassesToBatchSafely(std::string("a\0b", 3)));
    EXPECT_EQ(BatchArgumentText("C:\\w\\run.bat", {"a b", "trail\\"}),
              "/d /e:ON /v:OFF /c \"\"C:\\w\\run.bat\" \"a b\" \"trail\\\"\"");
}
