#pragma once

#include "platform/Processes.h"

// Programs on Windows: the shell starts them (ShellExecuteExA, default verb, shown), and
// command lines go to the command processor through the C runtime's system().
class Win32Processes : public Processes {
public:
    // Waits without a time limit for the started process. Fails at once, without waiting, when
    // the shell cannot start the program (2 on Windows; Wine answers 1400 for a missing file).
    Win32Error runForExitCode(const String& file, const String& parameters,
                              std::uint32_t& exitCode) override;
    int runCommand(const String& commandLine) override;
};
