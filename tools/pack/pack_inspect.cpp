// --info and --test through the launcher's own readers: the block reader and
// configuration keys (launcher/), the markup reader behind them, and the
// archive object CZipReader (zip/).
#include "pack_inspect.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "cleanup/cleanup_fs.h"
#include "cleanup/folder_cleaner.h"
#include "framework/exception.h"
#include "launcher/configuration.h"
#include "launcher/data_block.h"
#include "pack_error.h"
#include "pack_fs.h"
#include "pe_branding.h"
#include "solid_inspect.h"
#include "stub_target.h"
#include "zip_scan.h"
#include "zip/zip_entry_workers.h"
#include "zip/zip_exception.h"
#include "zip/zip_fs.h"
#include "zip/zip_reader.h"
#include "zip/zip_worker_thread.h"
#include "zip_crypt_writer.h"

namespace kvpack {

namespace {

struct BlockPlace {
    uint64_t markerOffset = 0;
    uint32_t length = 0;
};

// Finds the block the way the launcher does, but explains what is wrong
// instead of showing the launcher's message box.
BlockPlace LocateBlock(const std::string& path) {
    CBlockFile file;
    if (!file.Open(path)) throw CPackError("cannot open '" + path + "'");
    std::vector<unsigned char> window(DataBlockWindow);
    const size_t count = file.ReadAt(DataBlockSearchStart, window.data(), window.size());
    const unsigned char* marker = DataBlockMarker();
    auto found = std::search(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(count), marker,
                             marker + DataBlockMarkerSize);
    if (found == window.begin() + static_cast<std::ptrdiff_t>(count))
        throw CPackError("'" + path + "' is not a launcher file: no data block between offsets " +
                         std::to_string(DataBlockSearchStart) + " and " +
                         std::to_string(DataBlockSearchStart + DataBlockWindow));
    BlockPlace place;
    place.markerOffset = DataBlockSearchStart + static_cast<uint64_t>(found - window.begin());
    unsigned char length[4];
    if (file.ReadAt(place.markerOffset + DataBlockMarkerSize, length, 4) != 4)
        throw CPackError("'" + path + "': the data block is cut short");
    place.length = static_cast<uint32_t>(length[0]) | static_cast<uint32_t>(length[1]) << 8 |
                   static_cast<uint32_t>(length[2]) << 16 | static_cast<uint32_t>(length[3]) << 24;
    if (place.length > DataBlockMaxText)
        throw CPackError("'" + path + "': the configuration text is " + std::to_string(place.length) +
                         " bytes long; the launcher reads at most " + std::to_string(DataBlockMaxText));
    std::vector<char> text(place.length + 1);
    if (file.ReadAt(place.markerOffset + DataBlockMarkerSize + 4, text.data(), place.length) != place.length)
        throw CPackError("'" + path + "': the configuration text is cut short");
    return place;
}

std::string Slashes(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
    return name;
}

const char* MethodName(uint16_t method) {
    switch (method) {
        case 0: return "stored";
        case 8: return "deflated";
        case 14: return "lzma";
        case 95: return "xz";
        default: return "other";
    }
}

struct Opened {
    BlockPlace place;
    ::LauncherConfig config;
    CZipReader archive;
    std::vector<CZipEntryHeader> entries;
    // A solid payload's members, and what failed when they were read.
    std::vector<CTarMember> members;
    std::string solidFailure;
};

void Open(const std::string& path, Opened& o) {
    o.place = LocateBlock(path);
    o.config = ParseConfiguration(ReadDataBlock(path));
    try {
        o.archive.OpenArchive(path, ModeOpenReadOnly, 0);
    } catch (CException* error) {
        throw CPackError("cannot read the archive of '" + path + "': " + DescribeReaderError(error));
    }
    for (int i = 0; i < o.archive.GetCount(); ++i) {
        CZipEntryHeader header;
        o.archive.GetEntryInfo(header, i);
        o.entries.push_back(header);
    }
    if (o.config.solid != 0) o.solidFailure = ReadSolidPayload(path, o.config.usePassword != 0, &o.members);
}


bool HasRunTarget(const Opened& o) {
    const std::string wanted = Slashes(o.config.run);
    for (const CTarMember& m : o.members)
        if (!m.isFolder && Slashes(m.name) == wanted) return true;
    for (const CZipEntryHeader& e : o.entries)
        if (!e.IsFolder() && Slashes(e.GetName()) == wanted) return true;
    return false;
}

void PrintEntries(const Opened& o, std::FILE* out) {
    std::fprintf(out, "%12s %12s  %-8s  %-9s  %s\n", "Size", "Packed", "Method", "Encrypted", "Name");
    for (const CZipEntryHeader& e : o.entries) {
        std::fprintf(out, "%12llu %12llu  %-8s  %-9s  %s\n", static_cast<unsigned long long>(e.uncompressedSize),
                     static_cast<unsigned long long>(e.compressedSize), e.IsFolder() ? "folder" : MethodName(e.method),
                     e.IsEncrypted() ? "yes" : "no", e.GetName().c_str());
    }
}

// Creates the folder for --extract, or accepts an existing empty one; returns
// whether it was created here.
bool PrepareExtractFolder(const std::string& folder) {
    const FileInfo info = StatPath(folder);
    if (info.exists) {
        if (!info.isFolder) throw CPackError("'" + folder + "' exists and is not a folder");
        if (!ListFolder(folder).empty())
            throw CPackError("folder '" + folder + "' is not empty; --extract writes only into a new or empty folder");
        return false;
    }
    if (!ZipFs::ForceFolder(folder)) throw CPackError("cannot create folder '" + folder + "'");
    return true;
}

// Removes what --extract wrote with the launcher's cleaner, which never
// follows links out of the folder (and takes rooted paths only).
void RemoveExtracted(const std::string& folder, bool created) {
    std::string top = folder;
    std::string current;
    if (!CleanupFs::IsRootedSource(top) && ZipFs::GetCurrentFolder(current)) top = JoinPath(current, top);
    CFolderCleaner cleaner;
    cleaner.source = JoinPath(top, "*.*");
    cleaner.includeSubfolders = 1;
    cleaner.continueOnError = 1;
    cleaner.deleteHiddenSystem = 1;
    cleaner.pumpMessages = 0;
    cleaner.Clean(false);
    if (created) RemoveEmptyFolderQuietly(top);
}

}  // namespace

int ShowInfo(const std::string& path, std::FILE* out) {
    Opened o;
    Open(path, o);
    const uint64_t archiveAt = o.place.markerOffset + DataBlockMarkerSize + 4 + o.place.length;
    // The part of the file a stub can occupy: enough for its headers and resources.
    const std::string head = ReadFileBytes(path, DataBlockSearchStart + DataBlockWindow);
    const ImageTarget target = ReadImageTarget(head);
    std::fprintf(out, "Launcher file: %s\n", path.c_str());
    std::fprintf(out, "Target:        %s\n",
                 target.recognised ? target.description.c_str() : "unknown (no ELF or PE stub)");
    std::fprintf(out, "Data block:    marker at %llu, configuration text %u bytes, archive at %llu\n",
                 static_cast<unsigned long long>(o.place.markerOffset), o.place.length,
                 static_cast<unsigned long long>(archiveAt));
    std::fprintf(out, "Title:         %s\n", o.config.title.c_str());
    std::fprintf(out, "Run:           %s%s\n", o.config.run.c_str(),
                 o.config.run.empty() ? "(nothing is started)" : HasRunTarget(o) ? "" : "  (not in the archive!)");
    std::fprintf(out, "Prog:          %d (%s)\n", o.config.prog,
                 o.config.prog == 0 ? "no progress window" : "progress window");
    std::fprintf(out, "UsePW:         %d (%s)\n", o.config.usePassword,
                 o.config.usePassword ? "fixed archive password" : "no password");
    std::fprintf(out, "WaitTree:      %d (%s)\n", o.config.waitTree,
                 o.config.waitTree ? "waits for every process the program starts" : "waits for the program only");
    std::fprintf(out, "PassExitCode:  %d (%s)\n", o.config.passExitCode,
                 o.config.passExitCode ? "exits with the program's exit code" : "exit code of the launcher");
    if (o.config.solid != 0)
        std::fprintf(out, "Solid:         %d (a solid payload of %zu members%s)\n", o.config.solid, o.members.size(),
                     o.solidFailure.empty() ? "" : (", unreadable: " + o.solidFailure).c_str());
    for (const std::string& line : DescribeBranding(head)) std::fprintf(out, "%s\n", line.c_str());
    std::fprintf(out, "Entries:       %zu\n", o.entries.size());
    PrintEntries(o, out);
    o.archive.CloseArchive();
    return ExitDone;
}

int ListEntries(const std::string& path, std::FILE* out) {
    Opened o;
    Open(path, o);
    if (o.config.solid != 0) {
        if (!o.solidFailure.empty()) throw CPackError("cannot read the solid payload of '" + path + "': " + o.solidFailure);
        std::fprintf(out, "%12s  %s\n", "Size", "Name");
        for (const CTarMember& m : o.members)
            std::fprintf(out, "%12llu  %s\n", static_cast<unsigned long long>(m.size), m.name.c_str());
        return ExitDone;
    }
    PrintEntries(o, out);
    o.archive.CloseArchive();
    return ExitDone;
}

int ExtractLauncher(const std::string& path, const std::string& folder, std::FILE* out) {
    Opened o;
    Open(path, o);
    const bool created = PrepareExtractFolder(folder);
    if (o.config.solid != 0) {
        const std::string failure = ReadSolidPayload(path, o.config.usePassword != 0, nullptr, folder);
        if (!failure.empty()) {
            RemoveExtracted(folder, created);
            throw CPackError("cannot extract " + failure + " from '" + path + "'; nothing was kept");
        }
        std::fprintf(out, "Extracted the solid payload (%zu members) into %s; nothing was started.\n",
                     o.members.size(), folder.c_str());
        return ExitDone;
    }
    // As the launcher does: the entries on every processor, the first
    // failure in archive order reported.
    if (o.config.usePassword != 0) o.archive.SetArchivePassword(LauncherArchivePassword);
    ExtractFailure failure;
    if (CZipEntryWorkers::Extract(o.archive, path, folder, CZipWorkerThread::ExtractionWorkers(), nullptr, failure) ==
        ExtractResult::Failed) {
        const std::string why = failure.endsEarly ? "cannot extract the entry"
                                : failure.error  ? DescribeReaderError(failure.error)
                                                 : failure.what;
        o.archive.CloseArchive(1);
        RemoveExtracted(folder, created);
        throw CPackError("cannot extract '" + failure.name + "' from '" + path + "': " + why + "; nothing was kept");
    }
    for (const CZipEntryHeader& entry : o.entries) std::fprintf(out, "%s\n", entry.GetName().c_str());
    o.archive.CloseArchive();
    std::fprintf(out, "Extracted %zu entries into %s; nothing was started.\n", o.entries.size(), folder.c_str());
    return ExitDone;
}

int TestLauncher(const std::string& path, std::FILE* out) {
    Opened o;
    Open(path, o);
    std::vector<unsigned char> buffer(65536);
    size_t tested = 0;
    size_t failed = 0;
    for (size_t i = 0; i < o.entries.size(); ++i) {
        const CZipEntryHeader& e = o.entries[i];
        const std::string name = e.GetName();
        if (e.IsFolder()) continue;
        std::string failure;
        try {
            // As the launcher does: the password is set before every entry.
            if (o.config.usePassword != 0) o.archive.SetArchivePassword(LauncherArchivePassword);
            if (!o.archive.OpenEntry(static_cast<int>(i))) {
                failure = "cannot open the entry";
            } else {
                while (o.archive.ReadEntry(buffer.data(), static_cast<uint32_t>(buffer.size())) > 0) {
                }
                if (o.archive.CloseEntry(nullptr, false) != 1) failure = "the data ends early";
            }
        } catch (CException* error) {
            failure = DescribeReaderError(error);
            // Closed, so that the entries after it are tested too.
            o.archive.CloseEntry(nullptr, true);
        }
        ++tested;
        if (!failure.empty()) {
            std::fprintf(out, "FAILED  %s: %s\n", name.c_str(), failure.c_str());
            ++failed;
        } else {
            std::fprintf(out, "OK      %s\n", name.c_str());
        }
    }
    o.archive.CloseArchive(failed ? 1 : 0);
    if (o.config.solid != 0) {
        ++tested;
        if (o.solidFailure.empty()) {
            std::fprintf(out, "OK      the solid payload (%zu members)\n", o.members.size());
        } else {
            std::fprintf(out, "FAILED  the solid payload: %s\n", o.solidFailure.c_str());
            ++failed;
        }
    }
    if (!o.config.run.empty() && !HasRunTarget(o)) {
        std::fprintf(out, "FAILED  Run names '%s', which the archive does not hold\n", o.config.run.c_str());
        return ExitBadInput;
    }
    if (failed) {
        std::fprintf(out, "%zu of %zu files failed; the launcher would stop at the first.\n", failed, tested);
        return ExitBadInput;
    }
    std::fprintf(out, "All %zu files extract with good CRCs.\n", tested);
    return ExitDone;
}

}  // namespace kvpack
