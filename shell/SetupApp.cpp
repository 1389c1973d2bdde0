#include "shell/SetupApp.h"

#include <cstdio>
#include <memory>

#include "paths/WindowsPaths.h"
#include "setup/KeptSetup.h"
#include "setup/SetupExitCode.h"
#include "setup/SetupLogFile.h"
#include "shell/SetupDialog.h"

String theCommandLineArg;

namespace {

constexpr std::string_view LOG_OPTION = "LOG=";

}  // namespace

// Only the last argument counts for the mode: earlier ones are overwritten, so only that one is
// kept. A /LOG= option is no mode's argument, wherever it stands: a deployment tool puts it
// after the mode's switch.
SetupApp::SetupApp(Platform& platform, int argc, char** argv) : m_platform(platform) {
    for (int index = 1; index < argc; ++index) {
        std::string_view path;
        if (!IsLogOption(argv[index], path)) {
            m_lastArgument = argv[index];
        } else if (path.empty()) {
            m_logPathMissing = true;
        } else {
            m_logPath.assign(path);
        }
    }
}

bool SetupApp::IsLogOption(std::string_view argument, std::string_view& path) {
    bool marked = argument.starts_with('-') || argument.starts_with('/');
    if (!marked || !EqualsIgnoringCase(argument.substr(1, LOG_OPTION.size()), LOG_OPTION)) {
        return false;
    }
    path = argument.substr(1 + LOG_OPTION.size());
    // The shell takes the quotes away; a caller that quoted twice still means the path.
    if (path.size() >= 2 && path.starts_with('"') && path.ends_with('"')) {
        path = path.substr(1, path.size() - 2);
    }
    return true;
}

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

RunMode SetupApp::Mode() const {
    return m_logPathMissing ? RunMode::Usage : ModeOf(theCommandLineArg);
}

bool SetupApp::HandOverToCopy(int& exitCode) {
    ReadCommandLine();
    KeptSetup kept(m_platform);
    RunMode mode = Mode();
    if (mode == RunMode::Usage || !kept.IsThisProgram()) {
        return false;
    }
    exitCode = kept.RunCopy(mode, CopyParameters(), m_logPath);
    return true;
}

bool SetupApp::AcquireSetupLock() {
    // The kept program that waits for its copy holds the lock for it.
    return m_platform.acquireSetupLock() || KeptSetup(m_platform).IsHandOverCopy();
}

// The copy reads the same command line: the mode's argument, which it takes as its last, and the
// log's path, which arrives whole however many blanks it holds.
String SetupApp::CopyParameters() const {
    String parameters = m_lastArgument;
    if (!m_logPath.empty()) {
        if (!parameters.empty()) {
            parameters += " ";
        }
        parameters += QuoteArgument("/" + String(LOG_OPTION) + m_logPath);
    }
    return parameters;
}

bool SetupApp::InitInstance() {
    ReadCommandLine();
    RunMode mode = Mode();
    if (mode == RunMode::Usage && !m_platform.system().desktopVisible()) {
        ReportUsageUnseen();
        return false;
    }
    // On the heap: with the sequences and the archive's directory in it, the dialog is larger than
    // a stack frame may be in a program built without stack probes (cmake/SmallImage.cmake).
    auto dialog = std::make_unique<SetupDialog>(m_platform, mode, m_logPath);
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
    SetupLogFile log(m_platform, m_logPath);
    log.SetExitCode(m_exitCode);
    log.Append(RUN_USAGE_MESSAGE);
}
