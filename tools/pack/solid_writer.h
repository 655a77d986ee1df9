// Writes a folder's files as a solid payload (solid/solid_payload.h): a pax
// tar stream cut at file boundaries into parts, each part one .xz stream of
// one block (LZMA2 at the strongest preset (9), its dictionary no larger than the
// part, at most 64 MiB; x86 code in parts of its own, behind the x86 branch
// filter where a sample of the part measures smaller with it), each stored as one ZIP entry (encrypted like every entry when the
// writer has a password). Parts are compressed on every processor; the
// compressed parts wait in temporary files beside the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "folder_scan.h"
#include "zip_writer.h"

namespace kvpack {

struct SolidOptions {
    uint64_t partSize = uint64_t{128} << 20;  // tar bytes a part holds (more for one large file)
    unsigned threads = 0;                    // 0: one a processor
    bool fixedTime = false;                  // every member's time is `time`
    int64_t time = 0;
};

// One part of the plan: which items, in which order, and how it is coded.
struct SolidPartPlan {
    std::vector<const ScannedItem*> items;
    bool x86Code = false;
    bool last = false;     // ends the tar stream
    uint64_t tarBytes = 0;
};

// True for a PE or ELF file of x86 or x86-64 code.
bool IsX86Code(const std::string& path);
// Orders the items (folders first, then files by kind and extension, so
// that similar ones sit together) and cuts them into parts.
std::vector<SolidPartPlan> PlanSolidParts(const std::vector<ScannedItem>& items, const SolidOptions& options);

// Compresses and adds the parts to `writer` as entries `entry` (name set
// per part). `temporaryBase` names the temporary files (".partN" is added).
// Returns the parts' count.
size_t WriteSolidPayload(CZipWriter& writer, const std::vector<ScannedItem>& items, const SolidOptions& options,
                         ZipEntrySpec entry, const std::string& temporaryBase, const ProgressFn& progress);

}  // namespace kvpack
