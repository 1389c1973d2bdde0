#pragma once

// What a run of the setup program does, decided once from its command line.
enum class RunMode {
    Install,      // "/I": install at once, nobody watching
    Uninstall,    // "/U": uninstall at once, nobody watching
    Interactive,  // no argument: the dialog waits for a click
    Usage,        // anything else: the usage message, nothing done
};

// What an argument that selects no mode is answered with.
inline constexpr const char* RUN_USAGE_MESSAGE =
    "Please use /I or /i to Install , use /U or /u to Uninstall";

// No person waits on a command-line run: nothing may wait for a click.
inline bool IsCommandLine(RunMode mode) {
    return mode == RunMode::Install || mode == RunMode::Uninstall;
}
