#include "shell/SetupApp.h"

#include "shell/SetupDialog.h"

std::string theCommandLineArg;
const std::string theServiceName = "JovixZIL";
int theLastServiceState = 101;

SetupApp::SetupApp(Platform& platform, int argc, char** argv)
    : m_platform(platform), m_arguments(argv, argv + argc) {}

void SetupApp::ReadCommandLine() {
    for (std::size_t i = 1; i < m_arguments.size(); ++i) {
        const std::string& argument = m_arguments[i];
        bool marked = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
        theCommandLineArg = marked ? argument.substr(1) : argument;
    }
}

bool SetupApp::InitInstance() {
    ReadCommandLine();
    SetupDialog dialog(m_platform);
    m_mainWnd = &dialog;
    // A template that cannot be made into a window ends the run before anything happened; a
    // deployment tool still has to hear that it failed.
    m_exitCode = dialog.DoModal() == -1 ? SETUP_EXIT_FAILURE : dialog.ExitCode();
    m_mainWnd = nullptr;
    return false;
}
