#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

class Dialog;

// The application: records the command-line argument and runs the setup dialog modally.
// Everything the program does, in any mode, happens inside that dialog.
class SetupApp {
public:
    // The argument vector as main receives it; argv[0] is the program.
    SetupApp(Platform& platform, int argc, char** argv);

    // Reads the command line, runs the dialog to its end; always false (the framework's own
    // message loop is never entered).
    bool InitInstance();
    // theCommandLineArg := the last argument less one leading '-' or '/'; "" without one.
    void ReadCommandLine();

    // The dialog's outcome, in the SETUP_EXIT_ codes.
    int ExitCode() const { return m_exitCode; }

    Dialog* m_mainWnd = nullptr;

private:
    Platform& m_platform;
    std::vector<std::string> m_arguments;
    int m_exitCode = 0;
};
