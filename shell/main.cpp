#include <cstdio>
#include <memory>
#include "StringType.h"

#include "platform/Platform.h"
#include "setup/SetupExitCode.h"
#include "shell/SetupApp.h"

int main(int argc, char** argv) {
    // First, before anything could load a library: the platform restricts the DLL search.
    String error;
    std::unique_ptr<Platform> platform = createPlatform(error);
    if (!platform) {
        std::fputs((error + "\n").c_str(), stderr);
        return SETUP_EXIT_USAGE;
    }
    if (!platform->acquireSetupLock()) {
        return SETUP_EXIT_ALREADY_RUNNING;
    }
    SetupApp app(*platform, argc, argv);
    app.InitInstance();
    return app.ExitCode();
}
