#pragma once

// Process exit codes, in the Windows Installer convention that deployment tools understand.
// Linux and Wine pass on the code modulo 256; the log file carries it whole.
enum : int {
    SETUP_EXIT_SUCCESS = 0,
    SETUP_EXIT_FAILURE = 1603,
    SETUP_EXIT_BAD_ARCHIVE = 1620,
    SETUP_EXIT_PREVIOUS_VERSION = 1638,
    SETUP_EXIT_USAGE = 1639,
    SETUP_EXIT_ALREADY_RUNNING = 1618,
    SETUP_EXIT_CLOSED = 1602,
};
