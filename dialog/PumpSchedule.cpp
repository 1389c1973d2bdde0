#include "dialog/PumpSchedule.h"

bool PumpSchedule::due(std::uint64_t now) {
    if (!m_drainedOnce || now < m_lastDrain) {
        return true;
    }
    std::uint64_t gap = now >= m_lastChance ? now - m_lastChance : 0;
    m_lastChance = now;
    // Waiting for the next chance would leave a message that arrived just after the last
    // drain longer than the interval in the queue: look now, a little early.
    return Overdue(now - m_lastDrain + gap);
}

void PumpSchedule::drained(std::uint64_t now) {
    m_drainedOnce = true;
    m_lastDrain = now;
    m_lastChance = now;
}

bool PumpSchedule::Overdue(std::uint64_t elapsed) const {
    // A second or more is always overdue; below that, the product cannot overflow for any
    // clock of fewer than 10^13 ticks a second.
    return elapsed >= m_ticksPerSecond || elapsed * 1000000 >= PUMP_INTERVAL_US * m_ticksPerSecond;
}
