#include "setup/KeptSetup.h"

#include "platform/WindowsPaths.h"
#include "setup/FileOperations.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"

KeptSetup::KeptSetup(Platform& platform) : m_platform(platform) {}

bool KeptSetup::IsThisProgram() {
    String running;
    return m_platform.files().modulePath(running) == WIN_OK &&
           EqualsIgnoringCase(running, SETUP_KEPT_SETUP);
}

int KeptSetup::RunCopy(const String& argument) {
    FileSystem& files = m_platform.files();
    FileOperations operations(m_platform);
    // Whatever waits at the path may have been planted: it goes, and the folder is made afresh,
    // where nobody else may write.
    operations.RemoveOrRetire(SETUP_RUN_DIR);
    if (files.createPrivateDirectory(SETUP_RUN_DIR) != WIN_OK ||
        operations.CopyFile(SETUP_KEPT_SETUP, SETUP_RUN_COPY) != WIN_OK) {
        operations.RemoveOrRetire(SETUP_RUN_DIR);
        return SETUP_EXIT_FAILURE;
    }
    // A running program can be renamed within its volume: out of the program folder, it keeps
    // no folder of the product from going.
    bool movedOut = files.moveFile(SETUP_KEPT_SETUP, SETUP_RUN_KEPT, false) == WIN_OK;
    std::uint32_t exitCode = SETUP_EXIT_FAILURE;
    if (m_platform.processes().runForExitCode(SETUP_RUN_COPY, argument, exitCode) != WIN_OK) {
        exitCode = SETUP_EXIT_FAILURE;
    }
    // The product is still there without its uninstaller: it comes back.
    if (movedOut && files.findFile(SETUP_PROGRAM_DIR) && !files.findFile(SETUP_KEPT_SETUP)) {
        files.moveFile(SETUP_RUN_KEPT, SETUP_KEPT_SETUP, false);
    }
    files.removeFile(SETUP_RUN_COPY);
    if (files.removeTree(SETUP_RUN_DIR) != WIN_OK) {
        files.deleteAtRestart(SETUP_RUN_DIR);
    }
    return static_cast<int>(exitCode);
}
