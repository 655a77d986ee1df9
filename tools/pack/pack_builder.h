// Builds a launcher file: stub, data block and archive, written under a
// temporary name beside the output and renamed into place at the end, so
// that a failure never leaves a half-written output behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config_writer.h"
#include "pe_branding.h"

namespace kvpack {

struct PackOptions {
    std::string stubPath;
    std::string outputPath;
    std::string folder;   // payload folder (-C), or
    std::string zipPath;  // an existing archive appended unchanged (--zip)
    LauncherConfig config;
    BrandingOptions branding;  // Windows stubs only
    bool reproducible = false;
    int level = 6;
    // Pack what links that leave the folder point to, instead of refusing them.
    bool followLinks = false;
    // The folder as a solid payload (config.solid says so to the launcher);
    // tar bytes a part holds.
    uint64_t solidPartSize = uint64_t{128} << 20;
};

struct PackResult {
    uint64_t markerOffset = 0;
    uint64_t archiveOffset = 0;
    uint64_t outputSize = 0;
    size_t entries = 0;
    uint64_t payloadBytes = 0;
};

using WarnFn = std::function<void(const std::string&)>;

// Throws CPackError on bad input or a failed file operation.
PackResult BuildLauncher(const PackOptions& options, const WarnFn& warn);

// MS-DOS time and date for a count of seconds since 1970 taken as UTC (for
// fixed timestamps that do not depend on the time zone).
void DosTimeFromUtc(int64_t seconds, uint16_t& dosTime, uint16_t& dosDate);

}  // namespace kvpack
