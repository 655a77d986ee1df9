// A solid payload: a pax tar of the payload compressed as .xz, stored in the
// launcher's ZIP archive as one or more entries (payload.tar.xz, or its parts
// payload.tar.xz.001, .002, ... in order). Each part is a whole .xz stream of
// one block holding whole tar members, and its own ZIP entry, so that each
// part is its own decryption chain and its own dictionary: the parts are
// decoded on separate processors, each written straight to its own files.
// Joined with `cat`, the parts are one .xz file that `tar -xJf` reads.
//
// Threads: the calling thread reads and decrypts every part's bytes, parses
// the tar streams and writes every file and folder; workers only decode
// (CSolidPipe). On one processor the calling thread decodes as well.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "solid/tar_reader.h"
#include "solid/xz_part_decoder.h"
#include "zip/zip_extract_outcome.h"

class CException;
class CZipProgress;
class CZipReader;

// The name of part `index` (0-based) of `count` parts.
std::string SolidPartName(int index, int count);

class CSolidPayload {
public:
    struct Part {
        int entry = 0;       // index of its ZIP entry
        std::string name;
        uint64_t storedSize = 0;
        XzPartLayout layout;
    };
    // Makes the sink that takes part `part`'s members.
    using MemberSinkMaker = std::function<std::unique_ptr<CTarMemberSink>(int part)>;

    // Checks that the archive's entries are the parts, in order, and reads
    // what each part's stream declares. Throws CZipException 101 when the
    // entries are not a solid payload, or a part's start is refused.
    void Open(CZipReader& archive, const std::string& archivePath, const std::string& password);
    const std::vector<Part>& Parts() const { return parts; }
    // The tar stream's bytes: the progress range and the room needed.
    uint64_t TotalBytes() const;

    // Decodes every part and hands its members to the sinks that `maker`
    // makes. `workers`: parts decoded at the same time (1: on this thread
    // alone). Progress goes to `progress` in decoded bytes; when it asks to
    // stop, every worker ends and the result is Cancelled. On failures, the
    // first in archive order is reported (parts before it still run to their
    // end), the others are dropped.
    ExtractResult Extract(const MemberSinkMaker& maker, unsigned workers, CZipProgress* progress,
                          ExtractFailure& failure);


private:
    std::string archivePath;
    std::string password;
    std::vector<Part> parts;
};
