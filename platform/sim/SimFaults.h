#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Error.h"

// The one vocabulary of injected faults, for tests in this process and for whole processes of
// the program alike. ZIL_FAULTS writes a comma-separated list of KIND@N=ERROR ("write@3=112",
// "svc-start@1=1053"): the Nth call of that kind (counted from 1) fails with the Win32 error; a
// trailing '+' fails every later call too. ERROR may also be "kill": the process dies there, as
// in a power cut. KIND[GLOB]@N=ERROR counts only the calls of the kind whose subject (a path, a
// service's name, a registry key; FaultSeam.h says which for each kind) GLOB matches, as a whole
// and in any case,
// '*' any run of characters and '?' one; "@N" may go, for the first such call
// ("move[*\ZIL]=kill"). That names the point of a run by what it touches, not by how many
// calls came before it.
enum class SimFaultKind {
    Open,    // opening a file
    Read,    // a file's read
    Write,   // a file's write
    Seek,    // a file's seek
    Mkdir,   // making a folder, a private one too
    Move,    // a rename or the shell's move
    Delete,  // removing a file or a tree, the shell's delete
    Exec,    // running a program
    System,  // a command line through the command processor
    SvcOpen,
    SvcCreate,
    SvcStart,
    SvcControl,
    SvcDelete,
    SvcQuery,   // a service's status or its registration
    Restart,    // a deletion scheduled for the next restart
    RegRead,    // reading a registry key's values
    RegWrite,   // creating a registry key or writing a value
    RegDelete,  // deleting a registry key or value
    Count,
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::Count;
    int nth = 0;
    Win32Error error = WIN_OK;
    bool fromThenOn = false;
    bool kill = false;
    // Only calls whose subject this matches count for `nth`; "" for every call of the kind.
    std::string subject{};
};

// The fault at the first call of the kind whose subject `glob` matches.
SimFault SimFaultAt(SimFaultKind kind, std::string glob, Win32Error error, bool fromThenOn = false);

// Whether a call with this subject is one the fault counts.
bool SimFaultCounts(const SimFault& fault, std::string_view subject);

// The faults a ZIL_FAULTS value describes; false, with the reason in `error`, for a value that
// is not such a list (then no fault at all applies).
bool ParseSimFaults(const std::string& text, std::vector<SimFault>& faults, std::string& error);

// The name of a kind as ZIL_FAULTS writes it ("svc-start").
const char* SimFaultKindName(SimFaultKind kind);
