#pragma once

#include <functional>
#include <string>
#include <vector>

#include "setup/FileOperations.h"

// What giving changes back did: the error of the first that could not be given back (0 when
// every one is back) and the run log lines that say so.
struct Restoration {
    Win32Error error = WIN_OK;
    std::string runLog;
};

// What one undo did: its error and the run log lines it tells it with.
struct Undone {
    Win32Error error = WIN_OK;
    std::string runLog;
};

// The changes a sequence has made to the machine, each with how to give it back, made by the
// step that made the change at the moment it made it. A failed run gives them back, latest
// first; the commit lets them go, and from then on nothing is given back. This is the only
// place that knows what a run has changed.
class Transaction {
public:
    using Undo = std::function<Undone()>;
    // What letting go of a change takes at the commit (the old folder deleted, say).
    using Release = std::function<Removal()>;

    // A change has been made: `what` names it in the log when it cannot be given back.
    void Made(std::string what, Undo undo, Release release = {});
    // Every change given back, the latest first; each one that could not be is named in the run
    // log. After the commit there is nothing to give back.
    Restoration GiveBack();
    // The changes stay: what each leaves to let go of goes now, in the order they were made.
    std::vector<Removal> Commit();
    bool Committed() const { return m_committed; }

private:
    struct Change {
        std::string what;
        Undo undo;
        Release release;
    };
    std::vector<Change> m_changes;
    bool m_committed = false;
};
