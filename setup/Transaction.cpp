#include "setup/Transaction.h"

#include <utility>

#include "setup/StepLine.h"

void Transaction::Add(TextRef what, const Action<Undone>& undo, const Action<Removal>& release) {
    if (!m_committed) {
        m_changes.push_back({what.c_str(), undo, release});
    }
}

Undone Undone::Removed(const Removal& removal) {
    Undone undone{removal.error, LeftoverLine(removal), {}};
    if (removal.leftover == Leftover::AtRestart) {
        undone.restart.push_back(removal.leftAt);
    }
    return undone;
}

Restoration Transaction::GiveBack() {
    Restoration restored;
    while (!m_committed && !m_changes.empty()) {
        Change change = std::move(m_changes.back());
        m_changes.pop_back();
        Undone undone = change.undo();
        restored.runLog += undone.runLog;
        for (const String& item : undone.restart) {
            restored.restart.push_back(item);
        }
        if (undone.error != WIN_OK) {
            restored.runLog += NoteLine(change.what, "not given back", undone.error);
            if (restored.error == WIN_OK) {
                restored.error = undone.error;
            }
        }
    }
    return restored;
}

std::vector<Removal> Transaction::Commit() {
    std::vector<Removal> released;
    m_committed = true;
    for (const Change& change : m_changes) {
        released.push_back(change.release());
    }
    m_changes.clear();
    return released;
}
