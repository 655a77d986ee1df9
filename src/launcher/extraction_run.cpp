// The extraction run: configuration, work folder, extraction of every entry,
// the program start, cleanup and the cancel notice.
#include <cstdint>
#include <optional>

#include "cleanup/folder_cleaner.h"
#include "framework/exception.h"
#include "framework/file_exception.h"
#include "framework/message_box.h"
#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "framework/wait_cursor.h"
#include "launcher/configuration.h"
#include "launcher/extract_job.h"
#include "launcher/launch.h"
#include "launcher/launcher_paths.h"
#include "zip/zip_entry_header.h"
#include "zip/zip_exception.h"
#include "zip/zip_reader.h"

namespace {

constexpr uint32_t kExtractBufferSize = 65536;

// Shows why the archive could not be opened: the archive error's text, or a
// file error's message; other exceptions pass silently.
void ReportOpenFailure(CException* error) {
    if (error->IsKindOf(RUNTIME_CLASS(CZipException))) {
        AppMessageBox(static_cast<CZipException*>(error)->GetDescription());
    } else if (error->IsKindOf(RUNTIME_CLASS(CFileException))) {
        AppMessageBox(static_cast<CFileException*>(error)->GetErrorMessage());
    }
}

}  // namespace

int CExtractJob::Run() {
    int localCancel = 0;
    const int* cancelled = cancelFlag ? cancelFlag : &localCancel;
    std::optional<CWaitCursor> waitCursor(std::in_place);

    const LauncherConfig config = ParseConfiguration(ReadConfiguration());

    if (window && window->IsWindowAlive()) window->SetWindowText(config.title.empty() ? "Loading" : config.title);

    const std::string workFolder = NameWorkFolder();

    CZipReader archive;
    try {
        archive.OpenArchive(launcherPath.c_str(), ModeOpenReadOnly, 0);
    } catch (CException* error) {
        ReportOpenFailure(error);
        error->Delete();
        if (!workFolder.empty()) RemoveFolder(workFolder);
        waitCursor.reset();
        PostQuitRequest(0);
        return 2;
    }

    if (progressSink) archive.SetProgressSink(progressSink, ProgressExtract);

    CZipEntryHeader entry;
    uint64_t total = 0;
    for (int index = 0; index < archive.GetCount() && !*cancelled; ++index) {
        if (archive.GetEntryInfo(entry, index) && !entry.IsFolder()) total += entry.uncompressedSize;
    }
    if (progressBar && progressBar->IsWindowAlive()) progressBar->SetByteRange(total);

    // A missing work folder would make the reader write relative to the
    // current folder; extract nothing then.
    for (int index = 0; index < archive.GetCount() && !*cancelled && !workFolder.empty(); ++index) {
        try {
            archive.GetEntryInfo(entry, index);
            if (config.usePassword != 0) archive.SetArchivePassword(LauncherArchivePassword);
            archive.ExtractEntry(index, workFolder.c_str(), true, nullptr, kExtractBufferSize);
        } catch (CException* error) {
            // The entry is skipped; a cancel also ends here (codes 105/106).
            error->Delete();
        }
    }
    try {
        archive.CloseArchive(0, false);
    } catch (CException* error) {
        // An entry that failed its CRC check is still open and fails the
        // check again here; close without checks instead of ending the process.
        error->Delete();
        archive.CloseArchive(1, false);
    }

    if (!config.run.empty() && !*cancelled && !workFolder.empty()) {
        if (window && window->IsWindowAlive()) window->ShowWindow(SwHide);
        const std::string program = workFolder + PathSeparator() + config.run;
        if (PathExists(program)) {
            std::vector<std::string> arguments = forwardedArguments;
            arguments.push_back("SFXSOURCE:" + launcherPath);
            LaunchProgram(program, arguments, workFolder, 1, 0);
        }
    }

    if (!workFolder.empty()) {
        CFolderCleaner cleaner;
        cleaner.source = workFolder + PathSeparator() + "*.*";
        cleaner.includeSubfolders = 1;
        cleaner.continueOnError = 1;
        cleaner.deleteHiddenSystem = 1;
        cleaner.Clean(true);
        RemoveFolder(workFolder);
    }

    waitCursor.reset();
    if (*cancelled) {
        const CWnd* owner = (window && window->IsWindowAlive()) ? window : nullptr;
        OwnedMessageBox(owner, "Extraction Cancelled", "Status", MbOk | MbIconWarning);
    }
    PostQuitRequest(0);
    return 0;
}
