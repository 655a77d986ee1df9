// Program launch on Linux: posix_spawn with the argument vector, waitpid.
#include "launcher/launch.h"

#include "launcher/process_tree.h"
#include "launcher/run_stop.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

// Archives made on Windows carry no modes: the program may lack its
// execute bit. Only a regular file itself is changed, never a link's target.
static void AddOwnerExecute(const std::string& program) {
    struct stat st;
    if (lstat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR))
        chmod(program.c_str(), (st.st_mode & 07777) | S_IXUSR);
}

unsigned long LaunchProgram(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& workingFolder, int wait, int, bool waitTree, int* exitCode) {
    // The child changes folder before it starts the program: a relative
    // program path is taken from the launcher's folder, as on Windows.
    std::string path = program;
    if (!path.empty() && path[0] != '/') {
        char current[4096];
        if (getcwd(current, sizeof current)) path = std::string(current) + "/" + path;
    }
    AddOwnerExecute(path);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, number);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // Set before the start, so that no descendant can be orphaned to init
    // in between.
    if (wait && waitTree) BecomeChildSubreaper();

    pid_t child = 0;
    int error = posix_spawn(&child, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        if (wait && waitTree) ReapAllChildren();
        return static_cast<unsigned long>(error);
    }

    if (wait) {
        int status = 0;
        ForwardStopSignalsTo(child);
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        ForwardStopSignalsTo(0);
        if (exitCode) *exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        if (waitTree) ReapAllChildren();
    }
    return 0;
}
