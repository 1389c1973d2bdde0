#include <cstdio>
#include <memory>
#include "text/StringType.h"

#include "platform/Platform.h"
#include "setup/SetupExitCode.h"
#include "shell/SetupApp.h"

int main(int argc, char** argv) {
    // First, before anything could load a library: the platform restricts the DLL search.
    String error;
    std::unique_ptr<Platform> platform = createPlatform(error);
    if (!platform) {
        std::fputs(error.c_str(), stderr);
        std::fputs("\n", stderr);
        return SETUP_EXIT_USAGE;
    }
    SetupApp app(*platform, argc, argv);
    // Before the lock, which the copy takes for the run.
    if (int exitCode = 0; app.HandOverToCopy(exitCode)) {
        return exitCode;
    }
    if (!app.AcquireSetupLock()) {
        return SETUP_EXIT_ALREADY_RUNNING;
    }
    // The archive is read from the file this process started from, opened now and locked: a file
    // put at the path later (the download folder is the user's) is never read. A failure shows
    // where the archive is read, as for a damaged one.
    File* image = nullptr;
    platform->files().ownImage(image);
    app.InitInstance();
    return app.ExitCode();
}
