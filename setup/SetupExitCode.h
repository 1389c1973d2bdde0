#pragma once

// Process exit codes, in the Windows Installer convention that deployment tools understand.
// Linux and Wine pass on the code modulo 256; the log file carries it whole.
enum : int {
    SETUP_EXIT_SUCCESS = 0,
    // Done, but something held open waits for the next restart to go: a success that asks the
    // caller to schedule a restart.
    SETUP_EXIT_RESTART_REQUIRED = 3010,
    SETUP_EXIT_FAILURE = 1603,
    SETUP_EXIT_BAD_ARCHIVE = 1620,
    SETUP_EXIT_PREVIOUS_VERSION = 1638,
    SETUP_EXIT_USAGE = 1639,
    SETUP_EXIT_ALREADY_RUNNING = 1618,
    SETUP_EXIT_CLOSED = 1602,
};

// What a person reads in the closing box, and the log's last line, when a restart completes the
// run.
inline constexpr const char* SETUP_RESTART_NOTE = "A restart of Windows completes it.";

// Success, or success that a restart completes.
inline bool IsSetupSuccess(int exitCode) {
    return exitCode == SETUP_EXIT_SUCCESS || exitCode == SETUP_EXIT_RESTART_REQUIRED;
}
