// Where an entry's name leads below a target folder, and whether it may.
// Every container's entries pass through here before anything is written:
// ZIP entries and the members of a solid payload alike.
#pragma once

#include <string>

// Drops separators (either kind) at the end of `s`.
void TrimTrailingSeparators(std::string& s);

// Where the part of a target path below the target folder leads.
enum class TargetPlacement { Below, TargetItself, Unsafe };

// Both separators count, whatever the platform, so that no spelling of a
// name slips through. A ".." component, or one this platform would not keep
// as written, is unsafe; a part made only of empty and "." components is the
// target folder itself.
TargetPlacement PlacementOf(const std::string& relative);

// The part of a target path that is appended to the target folder: the whole
// name without a drive or root (`fullPath`), or its file name.
std::string AppendedPart(const std::string& name, bool fullPath);

// Throws CZipException 117 (naming `entryName`) when `used` would place
// anything outside the target folder or change the folder itself: a zero
// byte, an absolute name, a ".." component, a component this platform
// refuses, or a file that names the target folder. Returns the placement.
TargetPlacement CheckTargetName(const std::string& used, bool fullPath, bool isFolder,
                                const std::string& entryName);
