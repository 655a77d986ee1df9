// Symbolic links met while packing a folder. A link whose target lies
// outside the packed folder would ship files the user never chose (a link to
// ~/.ssh, say); the folder scan refuses those unless asked to follow them.
//
// Linux: lstat and realpath. Windows: every reparse point (symbolic links
// and junctions) counts as a link; targets are resolved with
// GetFinalPathNameByHandleA and compared without regard to case.
#pragma once

#include <string>

namespace kvpack {

// True when the path itself is a link, whatever it points to.
bool IsLink(const std::string& path);

// The path with every link on the way resolved, or "" when it cannot be
// resolved (a dangling link, a missing path).
std::string ResolvedPath(const std::string& path);

// True when resolved path lies in resolved folder or is that folder.
bool IsWithinFolder(const std::string& path, const std::string& folder);

}  // namespace kvpack
