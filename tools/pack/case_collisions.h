// Names of a packed folder that Windows would take for one and the same.
#pragma once

#include <string>
#include <vector>

#include "folder_scan.h"

namespace kvpack {

// Pairs of relative names (the first seen, then the other) that differ only
// in the case of ASCII letters: on a Windows file system one of them would
// overwrite the other when the launcher extracts them.
std::vector<std::pair<std::string, std::string>> CaseCollisions(const std::vector<ScannedItem>& items);

// True for a stub that is a Windows program ("MZ" image).
bool IsWindowsStub(const std::string& stub);

}  // namespace kvpack
