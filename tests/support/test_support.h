// Helpers shared by the test programs of every subsystem.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Separator of the platform the tests run on.
#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

// A Linux path from the test environment in the form this platform's file
// functions take (under Wine: "Z:" and backslashes).
std::string NativePath(const std::string& unixPath);

// The 154-byte configuration text of the launcher file that carries the
// original program: seven lines, each ended by CR LF.
extern const char kShippedConfiguration[];

// Path of a generated test input below $KVSFX_TESTDATA.
std::string TestData(const std::string& relative);

// Path of a file in the build folder ($KVSFX_BINDIR), such as a built helper.
std::string BuildFile(const std::string& relative);

std::string Join(const std::string& folder, const std::string& name);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
void MakeFolder(const std::string& path);
void RemoveTree(const std::string& path);
// Names in a folder, without "." and "..", unsorted. On Windows read with the
// wide API and given in UTF-8, so that a name check does not rest on the
// narrow API that the code under test uses.
std::vector<std::string> ListFolder(const std::string& path);

// A fresh, empty folder under the temporary folder, removed with everything
// in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return Join(path_, name); }

private:
    std::string path_;
};

}  // namespace testsupport
