#include "setup/KeptSetup.h"

#include "setup/StepLine.h"
#include "setup/FileOperations.h"
#include "setup/ProductPaths.h"
#include "setup/SetupExitCode.h"

namespace {

// The hand-over's steps, as the log file names them.
constexpr const char* KEPT_STEP_FOLDER = "Make ZIL Setup Run Folder";
constexpr const char* KEPT_STEP_COPY = "Copy ZIL Setup";
constexpr const char* KEPT_STEP_MOVE_OUT = "Move ZIL Setup Out Of Program Folder";
constexpr const char* KEPT_STEP_START = "Start ZIL Setup Copy";

}  // namespace

KeptSetup::KeptSetup(Platform& platform) : m_platform(platform) {}

// The path the program was started by may name the kept file in many spellings (a short name,
// another case, forward slashes, a trailing dot); the file itself is one.
bool KeptSetup::IsThisProgram() {
    FileSystem& files = m_platform.files();
    String running;
    PathInfo runningFile;
    PathInfo keptFile;
    return files.modulePath(running) == WIN_OK && files.pathInfo(running, runningFile) == WIN_OK &&
           files.pathInfo(SETUP_KEPT_SETUP, keptFile) == WIN_OK &&
           runningFile.kind == PathKind::File && runningFile.SameFileAs(keptFile);
}

int KeptSetup::RunCopy(const String& argument) {
    // A second kept program would clear the first one's folder and rename over its files.
    if (!m_platform.acquireKeptSetupLock()) {
        return SETUP_EXIT_ALREADY_RUNNING;
    }
    FileSystem& files = m_platform.files();
    FileOperations operations(m_platform);
    SetupLogFile log(m_platform);
    // Whatever waits at the path may have been planted: it goes, and the folder is made afresh,
    // where nobody else may write; someone else's that stays there gets a folder of another name.
    TempFolder run = operations.MakePrivateFolder(SETUP_RUN_DIR);
    if (!Took(log, KEPT_STEP_FOLDER, run.error)) {
        return SETUP_EXIT_FAILURE;
    }
    const String copy = PathIn(run.path, SFX_KEPT_SETUP_NAME);
    const String waiting = PathIn(run.path, SETUP_RUN_KEPT_NAME);
    std::uint32_t exitCode = SETUP_EXIT_FAILURE;
    // A running program can be renamed within its volume: out of the program folder, it keeps
    // no folder of the product from going. Left inside, it would: the copy does not run then.
    if (Took(log, KEPT_STEP_COPY, operations.CopyFile(SETUP_KEPT_SETUP, copy)) &&
        Took(log, KEPT_STEP_MOVE_OUT, files.moveFile(SETUP_KEPT_SETUP, waiting, false))) {
        if (!Took(log, KEPT_STEP_START,
                  m_platform.processes().runForExitCode(copy, argument, exitCode))) {
            exitCode = SETUP_EXIT_FAILURE;
        }
        ComeBack(waiting);
    }
    files.removeFile(copy);
    if (files.removeTree(run.path) != WIN_OK) {
        files.deleteAtRestart(run.path);
    }
    return static_cast<int>(exitCode);
}

// Nothing else would tell an administrator why the uninstall that Apps & features started did
// nothing: the log file, as every failed run leaves it.
bool KeptSetup::Took(SetupLogFile& log, const char* step, Win32Error error) {
    log.Step(step, error);
    if (error != WIN_OK) {
        log.Write(FailureText(step, error) + "\r\n", SETUP_EXIT_FAILURE);
    }
    return error == WIN_OK;
}

void KeptSetup::ComeBack(const String& waiting) {
    FileSystem& files = m_platform.files();
    if (files.findFile(SETUP_PROGRAM_DIR) && !files.findFile(SETUP_KEPT_SETUP)) {
        files.moveFile(waiting, SETUP_KEPT_SETUP, false);
    }
}
