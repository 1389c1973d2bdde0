#pragma once

#include <memory>
#include "StringType.h"
#include <utility>
#include <vector>

#include "setup/FileOperations.h"

// What giving changes back did: the error of the first that could not be given back (0 when
// every one is back) and the run log lines that say so.
struct Restoration {
    Win32Error error = WIN_OK;
    String runLog;
};

// What one undo did: its error and the run log lines it tells it with.
struct Undone {
    Win32Error error = WIN_OK;
    String runLog;
};

// The changes a sequence has made to the machine, each with how to give it back, made by the
// step that made the change at the moment it made it. A failed run gives them back, latest
// first; the commit lets them go, and from then on nothing is given back. This is the only
// place that knows what a run has changed.
class Transaction {
public:
    // A change has been made: `what` names it in the log when it cannot be given back; `undo`
    // gives it back (an Undone), `release` is what letting go of it takes at the commit (a
    // Removal: the old folder deleted, say).
    template <class Undo>
    void Made(String what, Undo undo) {
        Made(std::move(what), undo, [] { return Removal{}; });
    }
    template <class Undo, class Release>
    void Made(String what, Undo undo, Release release) {
        if (!m_committed) {
            m_changes.push_back(
                std::make_unique<Of<Undo, Release>>(std::move(what), undo, release));
        }
    }
    // Every change given back, the latest first; each one that could not be is named in the run
    // log. After the commit there is nothing to give back.
    Restoration GiveBack();
    // The changes stay: what each leaves to let go of goes now, in the order they were made.
    std::vector<Removal> Commit();
    bool Committed() const { return m_committed; }

private:
    class Change {
    public:
        explicit Change(String what) : m_what(std::move(what)) {}
        virtual ~Change() = default;
        virtual Undone Undo() = 0;
        virtual Removal Release() = 0;
        const String& What() const { return m_what; }

    private:
        String m_what;
    };
    // A change with its undo and release as the step gave them (no std::function: it would
    // bring a stream library into the small Windows program).
    template <class U, class R>
    class Of : public Change {
    public:
        Of(String what, U undo, R release)
            : Change(std::move(what)), m_undo(undo), m_release(release) {}
        Undone Undo() override { return m_undo(); }
        Removal Release() override { return m_release(); }

    private:
        U m_undo;
        R m_release;
    };

    std::vector<std::unique_ptr<Change>> m_changes;
    bool m_committed = false;
};
