#pragma once

#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "text/StringType.h"
#include "text/TextRef.h"

#include "setup/FileOperations.h"

// What one undo did: its error, the run log lines it tells it with, and what it left for the
// next restart to delete (the new files that were held open, say).
struct [[nodiscard]] Undone {
    Win32Error error = WIN_OK;
    String runLog;
    std::vector<String> restart;

    // An undo that removed something: its error, and what it could not delete now.
    static Undone Removed(const Removal& removal);
};

// What giving changes back did: the error of the first that could not be given back (0 when
// every one is back), the run log lines that say so, and what waits for the next restart.
struct [[nodiscard]] Restoration {
    Win32Error error = WIN_OK;
    String runLog;
    std::vector<String> restart;
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
    void Made(TextRef what, Undo undo) {
        Add(what, Action<Undone>(undo), Action<Removal>());
    }
    template <class Undo, class Release>
    void Made(TextRef what, Undo undo, Release release) {
        Add(what, Action<Undone>(undo), Action<Removal>(release));
    }
    // Every change given back, the latest first; each one that could not be is named in the run
    // log. After the commit there is nothing to give back.
    Restoration GiveBack();
    // The changes stay: what each leaves to let go of goes now, in the order they were made, each
    // release's removal returned as it came.
    std::vector<Removal> Commit();
    bool Committed() const { return m_committed; }

private:
    // An undo or a release as the step gave it: a lambda that captures a pointer or two, kept
    // by value, and the one function that knows its type. No std::function (it would bring a
    // stream library into the small Windows program), and no class per lambda (each brought a
    // vtable, a destructor and a block on the heap of its own). Without a lambda, it does
    // nothing and returns an empty result.
    template <class Result>
    class Action {
    public:
        Action() = default;
        template <class Lambda>
        explicit Action(Lambda lambda) : m_call(&Invoke<Lambda>) {
            static_assert(sizeof(Lambda) <= sizeof(m_captures) &&
                              alignof(Lambda) <= alignof(void*) &&
                              std::is_trivially_copyable_v<Lambda>,
                          "a change's lambda captures at most two pointers");
            new (m_captures) Lambda(lambda);
        }
        Result operator()() const { return m_call(m_captures); }

    private:
        template <class Lambda>
        static Result Invoke(const void* captures) {
            return (*std::launder(static_cast<const Lambda*>(captures)))();
        }
        static Result Nothing(const void*) { return {}; }

        Result (*m_call)(const void*) = &Nothing;
        alignas(void*) unsigned char m_captures[2 * sizeof(void*)] = {};
    };
    struct Change {
        String what;
        Action<Undone> undo;
        Action<Removal> release;
    };
    void Add(TextRef what, const Action<Undone>& undo, const Action<Removal>& release);

    std::vector<Change> m_changes;
    bool m_committed = false;
};
