// Following the process tree on Linux: the launcher as child subreaper.
#include "launcher/process_tree.h"

#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>

bool BecomeChildSubreaper() { return prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0; }

void ReapAllChildren() {
    for (;;) {
        int status = 0;
        if (waitpid(-1, &status, 0) < 0 && errno != EINTR) break;  // ECHILD: none left
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
}
