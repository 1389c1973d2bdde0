#include "setup/KeptSetup.h"

#include <memory>

#include "paths/WindowsPaths.h"
#include "setup/FileOperations.h"
#include "setup/ProductPaths.h"
#include "setup/Sequence.h"
#include "setup/SetupExitCode.h"
#include "setup/StepLine.h"

namespace {

// The hand-over shows nothing: it runs before any window, and its copy shows the run. It keeps
// only the code the run ended with.
class UnseenObserver : public SequenceObserver {
public:
    void SetTotalRange(int, int) override {}
    void StepTotal() override {}
    void SetCurrentPos(int) override {}
    void ShowBars() override {}
    void SetTotalLabel(TextRef) override {}
    void SetCurrentLabel(TextRef) override {}
    void SetStatus(const String&) override {}
    void Refresh() override {}
    void PumpMessages() override {}
    void ShowMessage(const String&) override {}
    void Finish(int exitCode, bool) override { m_exitCode = exitCode; }

    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode = SETUP_EXIT_FAILURE;
};

// The kept program's hand-over to its copy, as a run of its own: steps of the one runner, each
// change registered with its undo as it is made, so that a step that fails gives back the ones
// before it. Its log is written only when it fails: otherwise the copy's is the run's.
class HandOver : public Sequence {
public:
    HandOver(const SequenceContext& context, const String& arguments)
        : Sequence(context), m_arguments(arguments) {}

    void Run() override { RunTable(nullptr, Steps()); }

    static StepTable Steps() {
        using H = HandOver;
        using F = StepFailure;
        static constexpr SequenceStep steps[] = {
            {"Make ZIL Setup Run Folder", RunStep<H, &H::MakeRunFolder>, -1, F::Restores},
            {"Copy ZIL Setup", RunStep<H, &H::CopyProgram>, -1, F::Restores},
            {"Move ZIL Setup Out Of Program Folder", RunStep<H, &H::MoveOut>, -1, F::Restores},
            {"Start ZIL Setup Copy", RunStep<H, &H::StartCopy>, -1, F::Restores},
            {"Move ZIL Setup Back", RunStep<H, &H::ComeBack>, -1, F::Ends},
            {"Leave ZIL Setup Run Folder", RunStep<H, &H::LeaveRunFolder>, -1, F::GoesOn},
        };
        return steps;
    }

    // Whatever waits at the path may have been planted: it goes, and the folder is made afresh,
    // where nobody else may write; someone else's that stays there gets a folder of another name.
    StepOutcome MakeRunFolder() {
        TempFolder run = files().MakePrivateFolder(SETUP_RUN_DIR);
        if (run.error != WIN_OK) {
            return StepOutcome::Failed(run.error);
        }
        m_runFolder = run.path;
        transaction().Made(m_runFolder,
                           [this] { return Undone::Removed(files().RemoveOrRetire(m_runFolder)); });
        return {};
    }

    // From the kept file, where only administrators write: the running program's own image
    // stays unopened, since an open image could not be renamed out of the program folder.
    StepOutcome CopyProgram() {
        return StepOutcome::Failed(files().CopyFile(SETUP_KEPT_SETUP, Copy()));
    }

    // A running program can be renamed within its volume: out of the program folder, it keeps
    // no folder of the product from going. Left inside, it would: the copy does not run then.
    StepOutcome MoveOut() {
        if (Win32Error error = platform().files().moveFile(SETUP_KEPT_SETUP, Waiting(), false);
            error != WIN_OK) {
            return StepOutcome::Failed(error);
        }
        transaction().Made(SETUP_KEPT_SETUP_NAME, [this] { return Undone{PutBack(), {}, {}}; });
        return {};
    }

    StepOutcome StartCopy() {
        std::uint32_t exitCode = 0;
        StepOutcome started = StepOutcome::Failed(
            platform().processes().runForExitCode(Copy(), m_arguments, exitCode));
        m_copyExitCode = static_cast<int>(exitCode);
        return started;
    }

    // Where the product stayed (a failed uninstall), its uninstaller goes back with it; where it
    // cannot, the run fails, and the program keeps waiting here for the next run to put back.
    StepOutcome ComeBack() {
        FileSystem& machine = platform().files();
        StepOutcome back;
        if (machine.findFile(SETUP_PROGRAM_DIR) && !machine.findFile(SETUP_KEPT_SETUP)) {
            back.error = PutBack();
        }
        if (back.error != WIN_OK) {
            back.endMessage = FailureText(StepName(), back.error);
            back.exitCode = SETUP_EXIT_FAILURE;
        }
        return back;
    }

    // The copy goes; the folder, with the waiting program in it, at the next restart.
    StepOutcome LeaveRunFolder() {
        FileSystem& machine = platform().files();
        machine.removeFile(Copy());
        Win32Error error = machine.removeTree(m_runFolder);
        if (error != WIN_OK) {
            error = machine.deleteAtRestart(m_runFolder);
        }
        StepOutcome left;
        left.recordedError = error;
        return left;
    }

private:
    // The copy has run: its log is the run's, and its code the run's end.
    void Conclude() override { observer().Finish(m_copyExitCode, true); }

    String Copy() const { return PathIn(m_runFolder, SETUP_KEPT_SETUP_NAME); }
    String Waiting() const { return PathIn(m_runFolder, SETUP_RUN_KEPT_NAME); }

    // By rename, else by a copy of the waiting program's bytes.
    Win32Error PutBack() {
        String waiting = Waiting();
        Win32Error error = platform().files().moveFile(waiting, SETUP_KEPT_SETUP, false);
        if (error != WIN_OK && files().CopyFile(waiting, SETUP_KEPT_SETUP) == WIN_OK) {
            error = WIN_OK;
        }
        return error;
    }

    String m_arguments;
    String m_runFolder;
    int m_copyExitCode = SETUP_EXIT_FAILURE;
};

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

// The kept program starts its copy by the path it made, so the path's text tells the copy; a
// kept program that holds its lock tells that it waits for it.
bool KeptSetup::IsHandOverCopy() {
    String running;
    return m_platform.files().modulePath(running) == WIN_OK && IsInRunFolder(running) &&
           !m_platform.acquireKeptSetupLock();
}

int KeptSetup::RunCopy(RunMode mode, const String& arguments, const String& logCopy) {
    // Both locks before any change: another setup's set-aside or restore must not meet this
    // hand-over's moves, and a second kept program would clear the first one's folder.
    if (!m_platform.acquireSetupLock() || !m_platform.acquireKeptSetupLock()) {
        return SETUP_EXIT_ALREADY_RUNNING;
    }
    auto extractor = std::make_unique<SfxExtractor>();
    SetupLogFile log(m_platform, logCopy);
    UnseenObserver observer;
    HandOver(SequenceContext{m_platform, mode, *extractor, log, observer}, arguments).Run();
    return observer.ExitCode();
}

bool IsRunFolder(std::string_view path) {
    std::string_view folder = SETUP_RUN_DIR;
    return path.size() >= folder.size() &&
           EqualsIgnoringCase(path.substr(0, folder.size()), folder) &&
           (path.size() == folder.size() || path[folder.size()] == '.') &&
           path.find('\\', folder.size()) == std::string_view::npos;
}

bool IsInRunFolder(const String& path) {
    std::string_view text = path;
    std::size_t name = text.rfind('\\');
    return name != std::string_view::npos && IsRunFolder(text.substr(0, name));
}
