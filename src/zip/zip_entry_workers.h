// Extraction of a ZIP archive's entries on several workers. The reading
// thread settles the entries in archive order, a bounded number ahead
// (names, folders, the output file, the local header, the password: the
// output tree decides everything before a worker writes), and hands each
// entry's data to the worker with room, the largest settled entry first;
// workers decrypt, inflate, check and write whole entries (CZipEntryDecoder)
// with their own handle of the archive. Entries of other methods and
// folders are extracted by the reading thread itself, in their turn.
//
// What the user sees is what one thread gives: the same files; on failures,
// the first in archive order (every entry before it is extracted, none
// after it is started); a stop request from the progress sink ends every
// worker before Extract returns; progress counts the bytes of all workers.
#pragma once

#include <string>

#include "zip/zip_extract_outcome.h"

class CZipProgress;
class CZipReader;

class CZipEntryWorkers {
public:
    // Entries settled ahead of the workers at most (their files are open).
    static constexpr size_t MaxSettled = 32;
    // Extracts every entry of `reader` (open; its password set) below
    // `folder`, reporting to `sink` (the reader's extraction sink), which
    // may ask to stop. On failures, `failure` is the first in archive order.
    static ExtractResult Extract(CZipReader& reader, const std::string& archivePath, const std::string& folder,
                                 unsigned workers, CZipProgress* sink, ExtractFailure& failure);
};
