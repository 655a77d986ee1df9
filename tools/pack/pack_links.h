// Where the paths met while packing a folder really lead. A link whose target
// lies outside the packed folder would ship files the user never chose (a
// link to ~/.ssh, say); the folder scan refuses those unless asked to follow
// them. Every path is resolved, not only those that look like links, so that
// no kind of link (symbolic link, junction, one that the system does not
// report as such) slips through.
//
// Linux: realpath. Windows: GetFinalPathNameByHandleA, compared without
// regard to case.
#pragma once

#include <string>

namespace kvpack {

// The path with every link on the way resolved, or "" when it cannot be
// resolved (a dangling link, a missing path).
std::string ResolvedPath(const std::string& path);

// True when resolved path lies in resolved folder or is that folder.
bool IsWithinFolder(const std::string& path, const std::string& folder);

}  // namespace kvpack
