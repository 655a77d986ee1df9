// --list, --test, --info and --extract of a solid launcher file, through the
// launcher's own solid reader (solid/solid_payload.h).
#pragma once

#include <string>
#include <vector>

#include "solid/tar_reader.h"

namespace kvpack {

// Decodes the whole payload of the launcher file at `path` and hands every
// member to `members` (in payload order; null: only checked), or writes it
// below `folder` (non-empty). Returns "" or what failed: the member or part
// and why.
std::string ReadSolidPayload(const std::string& path, bool usePassword, std::vector<CTarMember>* members,
                             const std::string& folder = std::string());

}  // namespace kvpack
