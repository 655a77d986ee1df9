// One run's context: the borrowed progress sink, window, bar and cancel flag,
// and the launcher's own path.
#pragma once

#include <string>
#include <vector>

class CZipProgress;

// Exit codes of the launcher, as the run answers them.
constexpr int RunExitDone = 0;       // the program ran, or nothing to run and all extracted
constexpr int RunExitFailed = 1;     // no data block, unreadable archive, an entry failed,
                                     // no work folder, the program missing or not startable
constexpr int RunExitCancelled = 2;  // the user cancelled
class CWnd;
class CProgressCtrl;
class CWorkFolderMark;

class CExtractJob {
public:
    // Fills the launcher path from the module path; shows "Could not get
    // module name" when the system cannot tell it.
    CExtractJob();
    virtual ~CExtractJob();
    CExtractJob(const CExtractJob&) = delete;
    CExtractJob& operator=(const CExtractJob&) = delete;

    // The configuration text of the launcher file's data block, or "".
    std::string ReadConfiguration() const;
    // True when the configuration asks for no progress window (Prog 0).
    bool IsNoWindowMode() const;
    // The extraction run; answers the launcher's exit code (RunExit*).
    int Run();
    // Names and creates a fresh work folder below workParent (or the
    // temporary folder when it is empty; on Linux a folder that allows
    // programs when the temporary folder is mounted noexec, see
    // work_parent.h); "" when none can be created or the parent refuses
    // programs, and then `failure` (when given) tells the user why. The
    // folder is marked alive in `mark` (when given) for as long as that is held.
    std::string NameWorkFolder(std::string* failure = nullptr, CWorkFolderMark* mark = nullptr) const;

    CZipProgress* progressSink = nullptr;
    // The progress window (or a stand-in); the run sets its title and hides it.
    CWnd* window = nullptr;
    CProgressCtrl* progressBar = nullptr;
    int* cancelFlag = nullptr;
    // Entries extracted at the same time; 0: one a processor, at most four.
    unsigned workers = 0;
    std::string launcherPath;
    // Parent of the work folder from /T:, "" for the temporary folder; taken
    // from the application object when there is one.
    std::string workParent;
    // The launcher's arguments after argument 0, as the process received
    // them; passed on to the started program.
    std::vector<std::string> forwardedArguments;
};
