// The configuration text of a launcher file: lines ended by CR LF, root
// element KV_ZCD with the keys Message, Title, Run, Prog and UsePW, then the
// optional keys WaitTree, PassExitCode and Solid only when they are switched on, so
// that a file without them is the same seven lines as before. UTF-8.
#pragma once

#include <string>

namespace kvpack {

// Longest configuration text the launcher reads (its buffer holds 1023 bytes
// and a terminating zero).
constexpr size_t MaxConfigText = 1023;

struct LauncherConfig {
    std::string title;
    std::string run;
    bool showProgress = true;  // Prog 1
    bool usePassword = true;   // UsePW 1
    bool waitTree = false;      // WaitTree 1
    bool passExitCode = false;  // PassExitCode 1
    bool solid = false;         // Solid 1: the archive holds a solid payload
};

// Escapes &, <, >, ' and " as entity references.
std::string EscapeMarkup(const std::string& value);

// The configuration text for config, checked with CheckConfigText.
std::string BuildConfigText(const LauncherConfig& config);

// Throws CPackError when text is longer than MaxConfigText, holds a zero byte
// or is not UTF-8 (the launcher reads the text as UTF-8).
void CheckConfigText(const std::string& text);

}  // namespace kvpack
