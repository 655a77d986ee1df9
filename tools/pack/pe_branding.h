// Branding a Windows stub: its icon (group 128 and the images it names), its
// version strings and the execution level its manifest requests. The stub
// image is changed in memory; nothing is written when anything fails.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kvpack {

constexpr unsigned StubIconGroup = 128;

struct BrandingOptions {
    std::string iconPath;  // .ico file whose images replace icon group 128
    std::vector<std::pair<std::string, std::string>> versionStrings;  // key, value as given
    bool elevate = false;  // requireAdministrator instead of asInvoker

    bool Any() const { return !iconPath.empty() || !versionStrings.empty() || elevate; }
};

// The branded stub image; throws CPackError for a stub that is not a Windows
// program (exit code 2: the options do not apply), a resource layout
// kvsfx-pack does not understand, or a damaged icon file.
std::string BrandStub(const std::string& stub, const BrandingOptions& options, const std::string& stubPath);

// For --info: the icon sizes of group 128, the version strings and the
// requested execution level of a Windows program; nothing for other files.
std::vector<std::string> DescribeBranding(const std::string& image);

// The manifest with requestedExecutionLevel's level set; throws CPackError
// when the manifest has no such element. The rest stays byte for byte.
std::string SetExecutionLevel(const std::string& manifest, const std::string& level);
// The level the manifest requests, "" when it names none.
std::string ExecutionLevel(const std::string& manifest);

}  // namespace kvpack
