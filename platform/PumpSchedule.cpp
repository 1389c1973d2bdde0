#include "platform/PumpSchedule.h"

bool PumpSchedule::due(std::uint64_t now) {
    if (!m_drainedOnce || now < m_lastDrain) {
        return true;
    }
    std::uint64_t gap = now >= m_lastChance ? now - m_lastChance : 0;
    m_lastChance = now;
    // Waiting for the next chance would leave a message that arrived just after the last
    // drain longer than the interval in the queue: look now, a little early.
    return now - m_lastDrain + gap >= PUMP_INTERVAL_US;
}

void PumpSchedule::drained(std::uint64_t now) {
    m_drainedOnce = true;
    m_lastDrain = now;
    m_lastChance = now;
}
