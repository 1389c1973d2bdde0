#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Processes.h"
#include "platform/sim/SimMachine.h"

// Programs on the simulated machine. A program that exists in the machine runs as a host
// process with ZIL_MACHINE in its environment; a file that starts with "#!" runs through its
// interpreter, and a host program (ELF) runs, even without an execute bit: Windows needs none,
// and a program copied by the machine's own file calls has none. Command lines
// are only recorded: there is no command processor, and "mofcomp" does not exist on the host.
//
// Journal lines: "program: <file><parameters> -> <error>[, exit <status>]" and
// "system: <command line> -> <result>".
class SimProcesses : public Processes {
public:
    explicit SimProcesses(SimMachine& machine) : m_machine(machine) {}

    // WIN_FILE_NOT_FOUND at once for a program that is not in the machine, WIN_BAD_EXE_FORMAT
    // for a file that is neither a script nor executable. The exit code is the host process's
    // exit status (which Linux keeps modulo 256).
    Win32Error runForExitCode(const String& file, const String& parameters,
                              std::uint32_t& exitCode) override;
    // 0 when the command's file argument (the first one with a drive, "c:\...") exists in the
    // machine, else 1.
    int runCommand(const String& commandLine) override;

    // Splits a parameter string at blanks; double quotes group, as the C runtime does.
    static std::vector<std::string> splitArguments(std::string_view parameters);

private:
    static std::uint32_t WindowsExitCode(int status);
    Win32Error launch(const std::string& hostFile, std::string_view parameters, int& status);

    SimMachine& m_machine;
};
