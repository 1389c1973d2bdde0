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
    // where nobody else may write; someone else's that stays there gets a folder of another name.
    TempFolder run = operations.MakePrivateFolder(SETUP_RUN_DIR);
    const String copy = run.path + "\\" + SFX_KEPT_SETUP_NAME;
    const String waiting = run.path + "\\" + SETUP_RUN_KEPT_NAME;
    if (run.error != WIN_OK) {
        return SETUP_EXIT_FAILURE;
    }
    if (operations.CopyFile(SETUP_KEPT_SETUP, copy) != WIN_OK) {
        operations.RemoveOrRetire(run.path);
        return SETUP_EXIT_FAILURE;
    }
    // A running program can be renamed within its volume: out of the program folder, it keeps
    // no folder of the product from going.
    bool movedOut = files.moveFile(SETUP_KEPT_SETUP, waiting, false) == WIN_OK;
    std::uint32_t exitCode = SETUP_EXIT_FAILURE;
    if (m_platform.processes().runForExitCode(copy, argument, exitCode) != WIN_OK) {
        exitCode = SETUP_EXIT_FAILURE;
    }
    // The product is still there without its uninstaller: it comes back.
    if (movedOut && files.findFile(SETUP_PROGRAM_DIR) && !files.findFile(SETUP_KEPT_SETUP)) {
        files.moveFile(waiting, SETUP_KEPT_SETUP, false);
    }
    files.removeFile(copy);
    if (files.removeTree(run.path) != WIN_OK) {
        files.deleteAtRestart(run.path);
    }
    return static_cast<int>(exitCode);
}
