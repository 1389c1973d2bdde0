#pragma once

#include <string_view>

#include "text/StringType.h"

#include "platform/Platform.h"
#include "setup/RunMode.h"

// The last command-line argument that is not a /LOG= option, less one leading '-' or '/'; ""
// without one. Written once, at start-up, by SetupApp::ReadCommandLine.
extern String theCommandLineArg;

// The application: reads the command line once into a mode and runs the setup dialog modally.
// Everything the program does, in any mode, happens inside that dialog.
class SetupApp {
public:
    // The argument vector as main receives it; argv[0] is the program.
    SetupApp(Platform& platform, int argc, char** argv);

    // Reads the command line, runs the dialog to its end; always false (the framework's own
    // message loop is never entered).
    bool InitInstance();
    // theCommandLineArg := the last argument that is not a /LOG= option, less one leading '-' or
    // '/'.
    void ReadCommandLine();
    // The mode an argument selects, compared whole and case-sensitively: "" interactive, "I" or
    // "i" install, "U" or "u" uninstall, anything else the usage message.
    static RunMode ModeOf(const String& argument);
    // The mode the whole command line selects: ModeOf(theCommandLineArg), but the usage message
    // for a /LOG= without a path. ReadCommandLine first.
    RunMode Mode() const;

    // "/LOG=<path>" or "-LOG=<path>", the name in any case, anywhere on the command line: the run
    // writes its log there as well. True for such an argument, with the path (less one pair of
    // quotes around it; "" for none), which views the argument's own text.
    static bool IsLogOption(std::string_view argument, std::string_view& path);
    // The last /LOG= option's path; "" without one.
    const String& LogPath() const { return m_logPath; }

    // Started as the setup program the install keeps in the program folder, with a mode to run:
    // a copy of the program from setup's own folder runs instead, and this returns true with
    // the copy's exit code once it has ended. False, doing nothing, for any other program.
    bool HandOverToCopy(int& exitCode);
    // The one-setup lock for this run; false while another setup runs.
    bool AcquireSetupLock();

    // The dialog's outcome, in the SETUP_EXIT_ codes.
    int ExitCode() const { return m_exitCode; }

private:
    // An argument that selects no mode where no one would see the box: the usage message goes to
    // the standard error and the log file, and the run ends with 1639.
    void ReportUsageUnseen();

    // What the copy of a kept setup program is started with: the mode's argument as given, and
    // the /LOG= option, quoted.
    String CopyParameters() const;

    Platform& m_platform;
    String m_lastArgument;  // the last that is not a /LOG= option, as given; "" without one
    String m_logPath;
    bool m_logPathMissing = false;  // a /LOG= without a path: a command line not understood
    int m_exitCode = 0;
};
