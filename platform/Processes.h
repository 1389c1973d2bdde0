#pragma once

#include <cstdint>
#include "text/StringType.h"

#include "platform/Win32Error.h"

class Processes {
public:
    virtual ~Processes() = default;
    // Starts a program with the default verb and waits for its end, with no time limit; gives
    // the exit code of the process it waited for.
    virtual Win32Error runForExitCode(const String& file, const String& parameters,
                                      std::uint32_t& exitCode) = 0;
    // A command line through the command processor; returns what the command processor returns.
    virtual int runCommand(const String& commandLine) = 0;
};
