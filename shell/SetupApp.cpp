#include "shell/SetupApp.h"

#include <cstdio>
#include <memory>

#include "platform/WindowsPaths.h"
#include "setup/KeptSetup.h"
#include "setup/SetupExitCode.h"
#include "setup/SetupLogFile.h"
#include "shell/SetupDialog.h"

String theCommandLineArg;

// Only the last argument counts: earlier ones are overwritten, so only that one is kept.
SetupApp::SetupApp(Platform& platform, int argc, char** argv)
    : m_platform(platform), m_lastArgument(argc > 1 ? argv[argc - 1] : "") {}

void SetupApp::ReadCommandLine() {
    bool marked = m_lastArgument.starts_with('-') || m_lastArgument.starts_with('/');
    theCommandLineArg = marked ? m_lastArgument.substr(1) : m_lastArgument;
}

RunMode SetupApp::ModeOf(const String& argument) {
    if (argument.empty()) {
        return RunMode::Interactive;
    }
    // A switch is one letter, in either case.
    char letter = argument.size() == 1 ? FoldCase(argument[0]) : '\0';
    if (letter == 'U') {
        return RunMode::Uninstall;
    }
    if (letter == 'I') {
        return RunMode::Install;
    }
    return RunMode::Usage;
}

bool SetupApp::HandOverToCopy(int& exitCode) {
    ReadCommandLine();
    KeptSetup kept(m_platform);
    RunMode mode = ModeOf(theCommandLineArg);
    if (mode == RunMode::Usage || !kept.IsThisProgram()) {
        return false;
    }
    // The copy reads the same command line: only its last argument counts.
    exitCode = kept.RunCopy(mode, m_lastArgument);
    return true;
}

bool SetupApp::AcquireSetupLock() {
    // The kept program that waits for its copy holds the lock for it.
    return m_platform.acquireSetupLock() || KeptSetup(m_platform).IsHandOverCopy();
}

bool SetupApp::InitInstance() {
    ReadCommandLine();
    RunMode mode = ModeOf(theCommandLineArg);
    if (mode == RunMode::Usage && !m_platform.system().desktopVisible()) {
        ReportUsageUnseen();
        return false;
    }
    // On the heap: with the sequences and the archive's directory in it, the dialog is larger than
    // a stack frame may be in a program built without stack probes (cmake/SmallImage.cmake).
    auto dialog = std::make_unique<SetupDialog>(m_platform, mode);
    // A template that cannot be made into a window ends the run before anything happened; a
    // deployment tool still has to hear that it failed.
    m_exitCode = dialog->DoModal() == -1 ? SETUP_EXIT_FAILURE : dialog->ExitCode();
    return false;
}

// A deployment tool that runs the program in a service or in session 0 with a wrong switch: a
// box there would wait for ever, for nobody. The tool's own log and ours get the message instead.
void SetupApp::ReportUsageUnseen() {
    m_exitCode = SETUP_EXIT_USAGE;
    std::fputs(RUN_USAGE_MESSAGE, stderr);
    std::fputs("\n", stderr);
    SetupLogFile log(m_platform);
    log.SetExitCode(m_exitCode);
    log.Append(RUN_USAGE_MESSAGE);
}
