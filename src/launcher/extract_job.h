// One run's context: the borrowed progress sink, window, bar and cancel flag,
// and the launcher's own path.
#pragma once

#include <string>
#include <vector>

class CZipProgress;
class CWnd;
class CProgressCtrl;

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
    // The extraction run: 0 after a complete run, 2 when the archive could
    // not be opened.
    int Run();
    // Names and creates a fresh work folder below workParent (or the
    // temporary folder when it is empty); "" when none can be created.
    std::string NameWorkFolder() const;

    CZipProgress* progressSink = nullptr;
    // The progress window (or a stand-in); the run sets its title and hides it.
    CWnd* window = nullptr;
    CProgressCtrl* progressBar = nullptr;
    int* cancelFlag = nullptr;
    std::string launcherPath;
    // Parent of the work folder from /T:, "" for the temporary folder; taken
    // from the application object when there is one.
    std::string workParent;
    // The launcher's arguments after argument 0, as the process received
    // them; passed on to the started program.
    std::vector<std::string> forwardedArguments;
};
