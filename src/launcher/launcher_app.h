// The launcher's application object: reads /T: and /S, decides whether the
// run shows the progress window, and runs the extraction once.
#pragma once

#include <string>

#include "framework/app.h"

class CLauncherApp : public CWinApp {
public:
    bool InitInstance() override;

    // The first argument after argument 0 that carries the switch (see
    // switch_match.h), compared without regard to case, returned as given;
    // "" when none does.
    std::string FindArgument(const std::string& key) const;

    // Reads /T: into workParent and /S into noWindow.
    void ReadSwitches();

    // Folder given with /T: (trailing separators removed); "" means the
    // temporary folder.
    std::string workParent;
    int noWindow = 0;
};
