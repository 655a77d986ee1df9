// Layout of a launcher file: the stub image, zeros up to offset 100000 when
// the stub is shorter, the marker, the 32-bit little-endian length of the
// configuration text, the text, then the ZIP archive, nothing between them.
#pragma once

#include <cstdint>
#include <string>

#include "pack_fs.h"

namespace kvpack {

// Where the launcher starts looking for the marker, and the last offset at
// which a marker still lies wholly inside its 1048576-byte search window.
constexpr uint64_t BlockSearchStart = 100000;
constexpr uint64_t BlockSearchWindow = 1048576;
constexpr uint64_t LastMarkerOffset = BlockSearchStart + BlockSearchWindow - 6;

// The six marker bytes, made at run time so that no program image holds them.
std::string BlockMarker();

// Offset at which the marker goes behind a stub of stubSize bytes.
uint64_t MarkerOffsetFor(uint64_t stubSize);

// Throws CPackError when the stub cannot carry a block: too long, or it
// holds the marker bytes (also as a partial marker at its end that the
// appended marker would complete).
void CheckStub(const std::string& stub, const std::string& stubPath);

// Writes stub, padding, marker, length and configuration text at the start
// of out; returns the offset where the archive begins.
uint64_t WriteLauncherHead(CPackFile& out, const std::string& stub, const std::string& stubPath,
                           const std::string& configText);

}  // namespace kvpack
