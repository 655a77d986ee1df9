// The run's work folder: "<base>\kv_ext_temp_<n>" ("<base>/kv_ext_temp_<n>"
// on Linux), base being the given parent or else the temporary folder with
// its trailing separators removed (Windows: GetTempPathA; Linux: $TMPDIR, else
// /tmp), made absolute against the current folder, n the smallest number from
// 0 whose name is free.
#pragma once

#include <string>

// Names the work folder and creates it in the same step: a creation that
// fails because the name exists (a folder, a plain file or a link) moves on
// to the next n, so no other process can slip anything in between naming and
// use. The folder is private to the user on Linux (mode 0700). Returns ""
// when no folder can be created (the temporary folder is unknown, the parent
// is missing or not writable, ...); the caller must then not extract, and
// `failure` (when given) tells why, in words for the user. Shows the wait
// cursor meanwhile.
std::string CreateWorkFolder(const std::string& parent, std::string* failure = nullptr);

namespace WorkFolderFs {

enum class CreateResult { Created, NameTaken, Failed };

// The platform's temporary folder as the system reports it ("" if unknown).
std::string TemporaryFolder();
// Creates one folder, failing when the name exists.
CreateResult CreateFolderExclusive(const std::string& path);
extern const char Separator;

}  // namespace WorkFolderFs
