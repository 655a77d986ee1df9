#include "zip_scan.h"

#include "framework/exception.h"
#include "pack_error.h"
#include "zip/zip_entry_header.h"
#include "zip/zip_exception.h"
#include "zip/zip_reader.h"

namespace kvpack {

std::string DescribeReaderError(CException* error) {
    std::string text;
    if (error->IsKindOf(RUNTIME_CLASS(CZipException)))
        text = static_cast<CZipException*>(error)->GetDescription();
    else
        text = error->GetErrorMessage();
    error->Delete();
    return text.empty() ? "unknown error" : text;
}

ZipSummary ScanZipFile(const std::string& path) {
    CZipReader archive;
    try {
        archive.OpenArchive(path, ModeOpenReadOnly, 0);
    } catch (CException* error) {
        throw CPackError("'" + path + "' is not a ZIP archive the launcher can read: " + DescribeReaderError(error));
    }
    // The launcher measures the bytes in front of its archive itself; an
    // archive that already has some (a self-extracting file) would be
    // measured wrongly.
    if (archive.GetCount() > 0 && archive.Directory().bytesBeforeArchive != 0)
        throw CPackError("'" + path + "' does not begin with a local file header; the launcher expects the "
                         "archive to begin there (is it a self-extracting file?)");

    ZipSummary summary;
    CZipEntryHeader header;
    for (int index = 0; index < archive.GetCount(); ++index) {
        archive.GetEntryInfo(header, index);
        const std::string unsupported = header.UnsupportedReason();
        if (!unsupported.empty())
            throw CPackError("'" + path + "' cannot be extracted by the launcher: entry \"" +
                             header.GetDisplayName() + "\": " + unsupported);
        ScannedEntry entry;
        entry.name = header.GetName();
        entry.encrypted = header.IsEncrypted();
        entry.isFolder = header.IsFolder();
        if (!entry.isFolder) (entry.encrypted ? summary.encryptedFiles : summary.plainFiles)++;
        summary.entries.push_back(entry);
    }
    archive.CloseArchive(0, false);
    return summary;
}

}  // namespace kvpack
