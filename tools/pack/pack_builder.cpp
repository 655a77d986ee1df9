#include "pack_builder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "case_collisions.h"
#include "folder_scan.h"
#include "launcher/configuration.h"
#include "layout_writer.h"
#include "pack_error.h"
#include "pack_fs.h"
#include "pe_image.h"
#include "solid_writer.h"
#include "zip_scan.h"
#include "zip_writer.h"
#include "zip/zip_name_text.h"

namespace kvpack {

namespace {

// A one-line progress report on stderr, shown only on a terminal and only
// once the work has taken longer than a moment.
class CProgressLine {
public:
    explicit CProgressLine(uint64_t total) : total_(total), enabled_(StderrIsTerminal()), start_(Clock::now()) {}
    ~CProgressLine() {
        if (shown_) std::fputs("\r\033[K", stderr);
    }
    void Advance(uint64_t bytes) {
        done_ += bytes;
        if (!enabled_) return;
        auto now = Clock::now();
        if (now - start_ < std::chrono::milliseconds(700) || now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        shown_ = true;
        unsigned percent = total_ ? static_cast<unsigned>(done_ * 100 / total_) : 100;
        std::fprintf(stderr, "\rkvsfx-pack: %3u%%  %llu of %llu MB", percent > 100 ? 100 : percent,
                     static_cast<unsigned long long>(done_ >> 20), static_cast<unsigned long long>(total_ >> 20));
        std::fflush(stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    uint64_t total_, done_ = 0;
    bool enabled_, shown_ = false;
    Clock::time_point start_, last_;
};

std::string NormaliseRun(std::string run) {
    for (char& c : run)
        if (c == '\\') c = '/';
    while (run.size() >= 2 && run.compare(0, 2, "./") == 0) run.erase(0, 2);
    return run;
}

void CheckRunTarget(const std::string& run, const std::vector<std::string>& fileNames, const WarnFn& warn) {
    if (run.empty()) {
        warn("no --run given: the launcher file will extract its payload and start nothing");
        return;
    }
    std::string wanted = NormaliseRun(run);
    for (const std::string& name : fileNames)
        if (name == wanted) return;
    warn("the archive holds no file named '" + run + "' (--run); the launcher will fail to start it");
}

// The PE checksum over the whole launcher file (data block and archive
// included, as the system's own check reads it), written into the header.
// The field reads as zero until then.
void WriteWholeFileChecksum(CPackFile& out, size_t checksumOffset) {
    out.Seek(0);
    CPeChecksum checksum;
    std::vector<unsigned char> buffer(1 << 16);
    while (size_t n = out.Read(buffer.data(), buffer.size())) checksum.Add(buffer.data(), n);
    std::string field(4, '\0');
    WriteLe32(field, 0, checksum.Finish());
    out.Seek(checksumOffset);
    out.Write(field.data(), field.size());
}

// Creates the temporary output beside the final name.
std::string CreateTemporary(CPackFile& out, const std::string& outputPath) {
    for (unsigned n = 0; n < 1000; ++n) {
        std::string name = outputPath + ".tmp" + std::to_string(n);
        try {
            if (CreateRemovedOnInterrupt(out, name)) return name;
        } catch (const CPackError& e) {
            throw CPackError("cannot write the output '" + outputPath + "' (" + e.what() + ")");
        }
    }
    throw CPackError("cannot create a temporary file beside '" + outputPath + "'");
}

}  // namespace

void DosTimeFromUtc(int64_t seconds, uint16_t& dosTime, uint16_t& dosDate) {
    if (seconds < 315532800) seconds = 315532800;  // 1980-01-01 00:00:00
    int64_t days = seconds / 86400, rest = seconds % 86400;
    // Civil date from days since 1970 (proleptic Gregorian calendar).
    days += 719468;
    int64_t era = days / 146097;
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t year = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) ++year;
    if (year > 2107) {
        year = 2107, month = 12, day = 31, rest = 86399;
    }
    dosTime = static_cast<uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
    dosDate = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

PackResult BuildLauncher(const PackOptions& options, const WarnFn& warn) {
    PackResult result;

    // Everything that can be checked is checked before the output is created.
    FileInfo stubInfo = StatPath(options.stubPath);
    if (!stubInfo.exists) throw CPackError("stub '" + options.stubPath + "' does not exist (give one with --stub)");
    if (!stubInfo.isFile) throw CPackError("stub '" + options.stubPath + "' is not a file");
    std::string stub;
    if (MarkerOffsetFor(stubInfo.size) > LastMarkerOffset)
        throw CPackError("stub '" + options.stubPath + "' is " + std::to_string(stubInfo.size) +
                         " bytes long; the launcher finds its data only up to offset " +
                         std::to_string(LastMarkerOffset) + ", so the stub may be at most that long");
    stub = ReadFileBytes(options.stubPath);
    if (options.branding.Any()) stub = BrandStub(stub, options.branding, options.stubPath);
    CheckStub(stub, options.stubPath);
    const std::string configText = BuildConfigText(options.config);

    FileInfo outInfo = StatPath(options.outputPath);
    if (outInfo.exists && outInfo.isFolder) throw CPackError("output '" + options.outputPath + "' is a folder");

    ScanResult scan;
    std::vector<std::string> fileNames;
    if (!options.folder.empty()) {
        std::vector<std::string> skip;
        if (outInfo.exists) skip.push_back(outInfo.identity);
        scan = ScanFolder(options.folder, skip, options.followLinks);
        for (const std::string& s : scan.skipped) warn("skipped '" + s + "': neither a file nor a folder");
        if (IsWindowsStub(stub)) {
            for (const auto& pair : CaseCollisions(scan.items))
                warn("'" + pair.first + "' and '" + pair.second +
                     "' differ only in case: on Windows one of them overwrites the other");
        }
        for (const ScannedItem& item : scan.items) {
            if (!item.info.isFolder) fileNames.push_back(item.relativeName);
            const std::string& name = item.relativeName;
            if (!ZipText::IsValidUtf8(name.data(), name.size()))
                warn("'" + ZipText::ForDisplay(name.data(), name.size()) +
                     "' is not a UTF-8 name: stored as its bytes; Windows launchers refuse to extract it");
        }
        result.payloadBytes = scan.totalBytes;
    } else {
        ZipSummary zip = ScanZipFile(options.zipPath);
        if (options.config.usePassword && zip.plainFiles > 0)
            warn("'" + options.zipPath + "' holds " + std::to_string(zip.plainFiles) +
                 " unencrypted file(s) while UsePW is 1; they still extract, but unprotected");
        if (!options.config.usePassword && zip.encryptedFiles > 0)
            warn("'" + options.zipPath + "' holds " + std::to_string(zip.encryptedFiles) +
                 " encrypted file(s) while UsePW is 0 (--no-password); the launcher will fail to extract them");
        for (const ScannedEntry& e : zip.entries) {
            if (!e.isFolder) fileNames.push_back(NormaliseRun(e.name));
        }
        result.entries = zip.entries.size();
        result.payloadBytes = StatPath(options.zipPath).size;
    }
    if (fileNames.empty()) warn("the payload holds no files; the launcher file will extract nothing");
    CheckRunTarget(options.config.run, fileNames, warn);

    CPackFile out;
    const std::string temporary = CreateTemporary(out, options.outputPath);
    try {
        result.markerOffset = MarkerOffsetFor(stub.size());
        result.archiveOffset = WriteLauncherHead(out, stub, options.stubPath, configText);
        CProgressLine progressLine(result.payloadBytes);
        ProgressFn progress = [&progressLine](uint64_t n) { progressLine.Advance(n); };

        if (!options.folder.empty()) {
            ZipWriterOptions zo;
            if (options.config.usePassword) zo.password = LauncherArchivePassword;
            zo.level = options.level;
            zo.deterministicHeaders = options.reproducible;
            CZipWriter writer(out, zo);
            uint16_t fixedTime = 0, fixedDate = 0;
            int64_t fixedEpoch = 0;
            if (options.reproducible) {
                const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
                fixedEpoch = epoch && *epoch ? std::strtoll(epoch, nullptr, 10) : 0;
                DosTimeFromUtc(fixedEpoch, fixedTime, fixedDate);
            }
            if (options.config.solid) {
                ZipEntrySpec spec;
                spec.externalAttributes = PlatformHostSystem == 3 ? (0100644u << 16) | 0x20 : 0x20;
                spec.dosTime = fixedTime;
                spec.dosDate = fixedDate;
                if (!options.reproducible) ToDosTime(std::time(nullptr), spec.dosTime, spec.dosDate);
                SolidOptions solid;
                solid.partSize = options.solidPartSize;
                solid.fixedTime = options.reproducible;
                solid.time = fixedEpoch;
                WriteSolidPayload(writer, scan.items, solid, spec, temporary, progress);
            } else {
                for (const ScannedItem& item : scan.items) {
                    ZipEntrySpec spec;
                    spec.name = item.relativeName + (item.info.isFolder ? "/" : "");
                    spec.externalAttributes = item.info.externalAttributes;
                    if (options.reproducible) {
                        spec.dosTime = fixedTime;
                        spec.dosDate = fixedDate;
                    } else {
                        ToDosTime(item.info.modified, spec.dosTime, spec.dosDate);
                    }
                    if (item.info.isFolder)
                        writer.AddFolder(spec);
                    else
                        writer.AddFile(spec, item.path, progress);
                }
            }
            writer.Finish();
            result.entries = writer.EntryCount();
        } else {
            CPackFile in;
            in.OpenRead(options.zipPath);
            std::vector<unsigned char> buffer(1 << 16);
            while (size_t n = in.Read(buffer.data(), buffer.size())) {
                out.Write(buffer.data(), n);
                progress(n);
            }
        }
        result.outputSize = out.Tell();
        if (options.branding.Any()) WriteWholeFileChecksum(out, ReadPeLayout(stub, options.stubPath).checksumOffset);
        CopyPermissions(options.stubPath, out);
        out.Close();
        MoveIntoPlace(temporary, options.outputPath);
        ForgetOnInterrupt();
    } catch (...) {
        try {
            out.Close();
        } catch (...) {
        }
        RemoveFileQuietly(temporary);
        ForgetOnInterrupt();
        throw;
    }
    return result;
}

}  // namespace kvpack
