// Where the work folder goes: the /T: folder, else the temporary folder, and
// on Linux a folder that lets the extracted program run. A temporary folder
// on a file system mounted noexec would take the payload and then refuse to
// start the program; the launcher then uses the first of $XDG_RUNTIME_DIR and
// $HOME/.cache (made, mode 0700, when missing) that allows programs. A /T:
// folder is never replaced: it was asked for.
#pragma once

#include <string>

struct WorkParentChoice {
    // Parent for CreateWorkFolder: "" keeps the temporary folder.
    std::string folder;
    // When not empty, the message for the user: no folder allows programs,
    // and nothing may be extracted.
    std::string refusal;
};

// switchParent is the /T: folder ("" when none was given or it named nothing).
WorkParentChoice ChooseWorkParent(const std::string& switchParent);
