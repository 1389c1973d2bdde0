#pragma once

// The host setup program as a process of its own on a simulated machine, as a deployment tool
// or a power cut meets it: shared by the crash tests and the fault sweep.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/ScratchFolder.h"

struct SetupProcessRun {
    bool exited = false;  // by itself, not by a signal or the time limit
    int status = -1;      // the exit status, or minus the signal that ended it
    std::string journal;  // the machine's whole journal afterwards
};

// ZIL_FAULTS' form of a fault at the first call of KIND whose subject GLOB matches, with RESULT
// ("kill", or a Win32 error number with or without '+'): a point of the run named by what it
// touches, which no new call elsewhere moves.
inline std::string FaultAt(const std::string& kind, const std::string& glob,
                           const std::string& result = "kill") {
    return kind + "[" + glob + "]=" + result;
}

// Runs SETUP ARGUMENT on the machine at MACHINE with the virtual clock, no window and the faults
// in ZIL_FAULTS' form ("move[*\ZIL]=kill"). The virtual clock bounds every wait, so a run that
// takes a minute of real time hangs: it is killed. With several arguments, each passed as it
// stands.
inline SetupProcessRun RunSetupProcess(const std::string& setup,
                                       const std::filesystem::path& machine,
                                       const std::vector<std::string>& arguments,
                                       const std::string& faults) {
    std::vector<char*> argv{const_cast<char*>(setup.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        ::setenv("ZIL_MACHINE", machine.c_str(), 1);
        ::setenv("ZIL_CLOCK", "virtual", 1);
        ::setenv("ZIL_UI", "none", 1);
        ::setenv("ZIL_FAULTS", faults.c_str(), 1);
        ::unsetenv("ZIL_INPUT");
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execv(setup.c_str(), argv.data());
        ::_exit(127);
    }
    SetupProcessRun run;
    int raw = 0;
    for (int waited = 0; waited < 60000; ++waited) {
        if (::waitpid(child, &raw, WNOHANG) == child) {
            run.exited = WIFEXITED(raw);
            run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
            run.journal = test_support::ReadHostFile(machine / "journal.log");
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &raw, 0);
    return run;
}

inline SetupProcessRun RunSetupProcess(const std::string& setup,
                                       const std::filesystem::path& machine,
                                       const std::string& argument, const std::string& faults) {
    return RunSetupProcess(setup, machine, std::vector<std::string>{argument}, faults);
}
