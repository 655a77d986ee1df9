// A path made absolute against the current folder, so that it keeps naming
// the same place when the current folder changes and passes the cleaner's
// rule that a source must be rooted (a drive or UNC prefix on Windows, a
// leading '/' on Linux). "" when the current folder cannot be told.
//
// Windows: GetFullPathNameA (which also resolves "." and ".." lexically).
// Linux: the current folder, '/', and the path, with "." components and
// repeated separators dropped; ".." stays (a lexical cut could be wrong
// where a link lies on the way).
#pragma once

#include <string>

std::string AbsolutePath(const std::string& path);
