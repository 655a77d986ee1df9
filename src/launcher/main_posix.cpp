// Entry point of the Linux stub.
#include <string>
#include <vector>

#include "framework/app.h"
#include "launcher/launcher_app.h"

// The one application object of the process.
static CLauncherApp theApp;

int main(int argc, char** argv) {
    return RunApplication(std::vector<std::string>(argv, argv + argc));
}
