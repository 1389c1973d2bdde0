#include "setup/Transaction.h"

#include "platform/Format.h"
#include "setup/StepLine.h"

Restoration Transaction::GiveBack() {
    Restoration restored;
    while (!m_committed && !m_changes.empty()) {
        std::unique_ptr<Change> change = std::move(m_changes.back());
        m_changes.pop_back();
        Undone undone = change->Undo();
        restored.runLog += undone.runLog;
        if (undone.error != WIN_OK) {
            restored.runLog +=
                NoteLine(change->What(), Format("not given back, error %d", undone.error).c_str());
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
    for (std::unique_ptr<Change>& change : m_changes) {
        Removal removal = change->Release();
        if (removal.error != WIN_OK || !removal.retiredTo.empty()) {
            released.push_back(removal);
        }
    }
    m_changes.clear();
    return released;
}
