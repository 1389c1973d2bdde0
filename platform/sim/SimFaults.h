#pragma once

#include <string>
#include <vector>

#include "platform/Win32Error.h"

// Faults for a whole process of the program, from the environment: ZIL_FAULTS holds a
// comma-separated list of KIND@N=ERROR ("write@3=112", "svc-start@1=1053"). The Nth call of that
// kind in the process (counted from 1) fails with the Win32 error; a trailing '+' fails every
// later call too. ERROR may also be "kill": the process dies there, as in a power cut.
enum class SimFaultKind {
    Open,
    Read,
    Write,
    Mkdir,
    Move,
    Delete,
    Exec,
    System,
    SvcOpen,
    SvcCreate,
    SvcStart,
    SvcControl,
    SvcDelete,
    SvcQuery,
    Count,
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::Count;
    int nth = 0;
    Win32Error error = WIN_OK;
    bool fromThenOn = false;
    bool kill = false;
};

// The faults a ZIL_FAULTS value describes; false, with the reason in `error`, for a value that
// is not such a list (then no fault at all applies).
bool ParseSimFaults(const std::string& text, std::vector<SimFault>& faults, std::string& error);

// The name of a kind as ZIL_FAULTS writes it ("svc-start").
const char* SimFaultKindName(SimFaultKind kind);
