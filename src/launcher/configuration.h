// The launcher's configuration: the keys of the KV_ZCD document in the data
// block, with the defaults that apply when a key or the document is missing.
#pragma once

#include <string>

struct LauncherConfig {
    std::string title;     // Title: caption of the progress window
    std::string run;       // Run: program to start, relative to the work folder
    int prog = 1;          // Prog: 0 means no progress window
    int usePassword = 0;   // UsePW: non-zero sets the archive password
    // Optional keys; launcher files without them behave as before, and stubs
    // that do not know them ignore them.
    int waitTree = 0;      // WaitTree: non-zero waits for every process the program starts
    int passExitCode = 0;  // PassExitCode: non-zero exits with the program's exit code
    int solid = 0;         // Solid: non-zero: the archive holds a solid payload (solid/solid_payload.h)
};

// The fixed archive password, set before each entry when UsePW is non-zero.
extern const char LauncherArchivePassword[];

// Leading white space, an optional sign, then decimal digits up to the first
// other character; no digits give 0. Values beyond the int range saturate.
int ConfigInteger(const std::string& text);

// Parses the configuration text. Every key is looked up from the root's first
// child again, so their order does not matter; the first occurrence counts.
LauncherConfig ParseConfiguration(const std::string& text);
