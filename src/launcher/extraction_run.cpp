// The extraction run: configuration, work folder, extraction of every entry,
// the program start, cleanup and the notices.
//
// It fails closed: the first entry that cannot be extracted ends the
// extraction, the program is not started, the work folder is removed and the
// user is told which entry failed and why. Every failure of the run comes
// through here and sets the process exit code (RunExit*). Stop requests from
// outside (signals, the session's end) are handled here as well: the run
// stops, removes the work folder, then ends as the request asks.
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "framework/exception.h"
#include "framework/file_exception.h"
#include "framework/message_box.h"
#include "framework/message_pump.h"
#include "framework/progress_ctrl.h"
#include "framework/wait_cursor.h"
#include "launcher/batch_refusal.h"
#include "launcher/configuration.h"
#include "launcher/extract_job.h"
#include "launcher/free_space.h"
#include "launcher/launch.h"
#include "launcher/launcher_paths.h"
#include "launcher/run_stop.h"
#include "launcher/system_error.h"
#include "launcher/work_folder.h"
#include "solid/solid_member_writer.h"
#include "solid/solid_payload.h"
#include "zip/zip_entry_header.h"
#include "zip/zip_entry_workers.h"
#include "zip/zip_exception.h"
#include "zip/zip_output_tree.h"
#include "zip/zip_reader.h"
#include "zip/zip_worker_thread.h"

namespace {

constexpr uint32_t kExtractBufferSize = 65536;

// The text that tells the user about an exception: the archive error's
// description, or a file error's message; "" for other exceptions.
std::string DescribeError(CException* error) {
    if (error->IsKindOf(RUNTIME_CLASS(CZipException))) return static_cast<CZipException*>(error)->GetDescription();
    if (error->IsKindOf(RUNTIME_CLASS(CFileException))) return static_cast<CFileException*>(error)->GetErrorMessage();
    return "";
}

// The entry or member that an archive error names ("" for other errors).
std::string NamedIn(CException* error) {
    if (error->IsKindOf(RUNTIME_CLASS(CZipException))) return static_cast<CZipException*>(error)->fileName;
    return "";
}

// Control bytes of a damaged name (a zero byte would end the message) are
// shown as '?'.
std::string EntryFailure(std::string name, const std::string& why) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return "Could not extract \"" + name + "\": " + (why.empty() ? "An unknown error occurred." : why);
}

// The system's text for a failed start; Windows texts may carry "%1" for
// the program.
std::string LaunchFailure(const std::string& run, const std::string& program, unsigned long error) {
    std::string why = SystemErrorMessage(error);
    for (size_t at = why.find("%1"); at != std::string::npos; at = why.find("%1", at + program.size()))
        why.replace(at, 2, program);
    return "Could not start \"" + run + "\": " + why;
}

// Counts the bytes written for the entry being extracted (workDone, reset at
// every Begin), passes every report on to the job's own sink, if any, and
// stops the extraction at the next buffer once the user cancelled or a stop
// request came.
class CEntrySink : public CZipProgress {
public:
    CEntrySink(CZipProgress* inner, const int& cancelled, CRunStopWatch& stopWatch)
        : inner(inner), cancelled(cancelled), stopWatch(stopWatch) {}

    bool Step(int32_t amount) override {
        const bool goOn = inner ? inner->Step(amount) : true;
        return goOn && GoOn();
    }
    void Begin(const std::string& inArchive, const std::string& onDisk) override {
        CZipProgress::Begin(inArchive, onDisk);
        if (inner) {
            inner->kind = kind;
            inner->Begin(inArchive, onDisk);
        }
    }
    void SetWorkTotal(int64_t total) override {
        CZipProgress::SetWorkTotal(total);
        if (inner) inner->SetWorkTotal(total);
    }
    void End() override {
        if (inner) inner->End();
    }
    bool Advance(int32_t amount) override {
        workDone += amount;
        const bool goOn = inner ? inner->Advance(amount) : true;
        return goOn && GoOn();
    }

private:
    bool GoOn() { return cancelled == 0 && stopWatch.Poll() == StopRequest::None; }

    CZipProgress* inner;
    const int& cancelled;
    CRunStopWatch& stopWatch;
};

// What the user is told of an extraction's failure ("" when it did not fail).
std::string FailureMessage(ExtractResult result, ExtractFailure& failure) {
    if (result != ExtractResult::Failed) return "";
    if (failure.endsEarly) return EntryFailure(failure.name, "The entry's data ends before its full size.");
    if (!failure.error) return EntryFailure(failure.name, failure.what);
    const std::string message = EntryFailure(failure.name, DescribeError(failure.error));
    failure.error->Delete();
    return message;
}

// Extracts a solid payload into the work folder; the failure's message, or "".
std::string ExtractSolidPayload(CSolidPayload& solid, const std::string& workFolder, unsigned workers,
                                CZipProgress& sink) {
    CZipOutputTree tree;
    ExtractFailure failure;
    const auto maker = [&](int) { return std::make_unique<CSolidMemberWriter>(tree, workFolder); };
    return FailureMessage(solid.Extract(maker, workers, &sink, failure), failure);
}

// Extracts the archive's entries on several workers; the first failure's
// message, or "".
std::string ExtractOnWorkers(CZipReader& archive, const std::string& launcherPath, const std::string& workFolder,
                             unsigned workers, CZipProgress& sink) {
    ExtractFailure failure;
    return FailureMessage(CZipEntryWorkers::Extract(archive, launcherPath, workFolder, workers, &sink, failure),
                          failure);
}

// Empties the work folder, gives up its alive mark and removes it; pumps the
// window's messages meanwhile unless the session is ending.
void RemoveWorkFolder(const std::string& workFolder, CWorkFolderMark& mark, bool pump) {
    EmptyWorkFolder(workFolder, pump);
    mark.Release();
    RemoveFolder(workFolder);
}

}  // namespace

int CExtractJob::Run() {
    int localCancel = 0;
    const int* cancelled = cancelFlag ? cancelFlag : &localCancel;
    std::optional<CWaitCursor> waitCursor(std::in_place);
    CRunStopWatch stopWatch;
    auto stopped = [&] { return *cancelled != 0 || stopWatch.Poll() != StopRequest::None; };

    const LauncherConfig config = ParseConfiguration(ReadConfiguration());

    if (window && window->IsWindowAlive()) window->SetWindowText(config.title.empty() ? "Loading" : config.title);

    // What the user is told at the end when the run fails ("" when the
    // failure brings its own message, or none).
    std::string failure;
    bool failed = false;

    std::vector<std::string> arguments = forwardedArguments;
    arguments.push_back("SFXSOURCE:" + launcherPath);
    // Arguments that the program could not receive safely end the run
    // before anything is extracted.
    if (!config.run.empty()) {
        failure = BatchLaunchRefusal(config.run, arguments);
        failed = !failure.empty();
    }

    std::string workFolderFailure;
    CWorkFolderMark workFolderMark;
    const std::string workFolder = failed ? std::string() : NameWorkFolder(&workFolderFailure, &workFolderMark);
    bool workFolderRemoved = workFolder.empty();
    stopWatch.SetCleanup([&] {
        if (!workFolderRemoved) RemoveWorkFolder(workFolder, workFolderMark, false);
        workFolderRemoved = true;
    });
    CZipReader archive;
    CSolidPayload solid;
    // The bytes of every file entry (of a solid payload: of its tar stream): the progress range and the room needed.
    uint64_t total = 0;
    if (!failed && workFolder.empty()) {
        failure = workFolderFailure;
        failed = true;
    } else if (!failed) {
        try {
            archive.OpenArchive(launcherPath.c_str(), ModeOpenReadOnly, 0);
            if (config.solid != 0) {
                try {
                    solid.Open(archive, launcherPath, config.usePassword != 0 ? LauncherArchivePassword : "");
                    total = solid.TotalBytes();
                } catch (CException* error) {
                    failure = EntryFailure(NamedIn(error), DescribeError(error));
                    failed = true;
                    error->Delete();
                }
            }
            CZipEntryHeader entry;
            for (int index = 0; index < archive.GetCount() && !stopped() && config.solid == 0; ++index) {
                // Declared sizes are the archive's word: their sum stops at the
                // largest value rather than wrap to a small one.
                if (archive.GetEntryInfo(entry, index) && !entry.IsFolder())
                    total = entry.uncompressedSize > UINT64_MAX - total ? UINT64_MAX : total + entry.uncompressedSize;
            }
        } catch (CException* error) {
            failure = DescribeError(error);
            failed = true;
            error->Delete();
        } catch (const std::bad_alloc&) {
            // A directory of more entries than this process can hold.
            failure = "Not enough memory to read the archive.";
            failed = true;
        }
    }

    if (!failed) {
        CEntrySink sink(progressSink, *cancelled, stopWatch);
        const unsigned workers = this->workers != 0 ? this->workers : CZipWorkerThread::ExtractionWorkers();
        archive.SetProgressSink(&sink, ProgressExtract);

        CZipEntryHeader entry;
        if (progressBar && progressBar->IsWindowAlive()) progressBar->SetByteRange(total);
        if (!stopped()) {
            failure = FreeSpaceShortfall(workFolder, total);
            failed = !failure.empty();
        }

        if (config.solid != 0 && !stopped() && !failed) {
            failure = ExtractSolidPayload(solid, workFolder, workers, sink);
            failed = !failure.empty() && !stopped();
        }
        if (config.solid == 0 && workers > 1 && !stopped() && !failed) {
            if (config.usePassword != 0) archive.SetArchivePassword(LauncherArchivePassword);
            failure = ExtractOnWorkers(archive, launcherPath, workFolder, workers, sink);
            failed = !failure.empty() && !stopped();
        }
        for (int index = 0; index < archive.GetCount() && !stopped() && !failed && config.solid == 0 && workers == 1;
             ++index) {
            std::string name = "#" + std::to_string(index);
            try {
                if (archive.GetEntryInfo(entry, index)) name = entry.GetName();
                if (config.usePassword != 0) archive.SetArchivePassword(LauncherArchivePassword);
                // False with every byte written means only the file's time or
                // attributes could not be set: the payload is complete.
                if (!archive.ExtractEntry(index, workFolder.c_str(), true, nullptr, kExtractBufferSize) &&
                    (entry.IsFolder() || static_cast<uint64_t>(sink.workDone) != entry.uncompressedSize)) {
                    failure = EntryFailure(name, "The entry's data ends before its full size.");
                    failed = true;
                }
            } catch (CException* error) {
                // A cancel or stop ends the entry here too (archive errors
                // 105/106); that is no failure of the entry.
                if (!stopped()) {
                    failure = EntryFailure(name, DescribeError(error));
                    failed = true;
                }
                error->Delete();
            } catch (const std::exception& error) {
                failure = EntryFailure(name, error.what());
                failed = true;
            }
        }
        try {
            archive.CloseArchive(0, false);
        } catch (CException* error) {
            error->Delete();
            archive.CloseArchive(1, false);
        }
        archive.SetProgressSink(nullptr, ProgressExtract);
    }

    // With PassExitCode, the started program's exit code becomes the
    // launcher's, unless the launcher itself fails or is cancelled.
    std::optional<int> programExitCode;
    const bool extractionStopped = stopped();
    if (!failed && !config.run.empty() && !extractionStopped) {
        if (window && window->IsWindowAlive()) window->ShowWindow(SwHide);
        const std::string program = workFolder + PathSeparator() + config.run;
        int exitCode = 0;
        const unsigned long error =
            LaunchProgram(program, arguments, workFolder, 1, 0, config.waitTree != 0, &exitCode);
        if (error != 0) {
            failure = LaunchFailure(config.run, program, error);
            failed = true;
        } else if (config.passExitCode != 0) {
            programExitCode = exitCode;
        }
    }

    const StopRequest request = stopWatch.Poll();
    if (!workFolderRemoved) {
        RemoveWorkFolder(workFolder, workFolderMark, request != StopRequest::End);
        workFolderRemoved = true;
    }

    waitCursor.reset();
    int result = RunExitDone;
    if (request == StopRequest::End) {
        // The launcher is being ended (a signal, the session's end): no box.
        stopWatch.EndAsRequested();
        result = RunExitFailed;
    } else if (failed) {
        if (!failure.empty()) AppMessageBox(failure);
        result = RunExitFailed;
    } else if (extractionStopped) {
        const CWnd* owner = (window && window->IsWindowAlive()) ? window : nullptr;
        OwnedMessageBox(owner, "Extraction Cancelled", "Status", MbOk | MbIconWarning);
        result = RunExitCancelled;
    } else if (request == StopRequest::Cancel) {
        // Ctrl-C while the program ran: it had the signal; the launcher
        // reports the cancel by its exit code only.
        result = RunExitCancelled;
    } else if (programExitCode) {
        result = *programExitCode;
    }
    PostQuitRequest(0);
    return result;
}
