#pragma once

#include <cstdint>

// When a long step on the window's thread looks at the message queue. Looking at an empty queue
// is a round trip to the window server, far dearer than a step of an extraction, so it is done
// only when the next chance would come too late: every message that arrives meanwhile is
// handled within PUMP_INTERVAL_US, provided the steps keep their pace (the gap between two
// chances is taken to be the last one's).
class PumpSchedule {
public:
    static constexpr std::uint64_t PUMP_INTERVAL_US = 10000;

    // Times are counted in the ticks of a steady clock that makes ticksPerSecond of them a
    // second; no tick is converted to another unit, which would need a 64-bit division.
    explicit PumpSchedule(std::uint64_t ticksPerSecond) : m_ticksPerSecond(ticksPerSecond) {}

    // A chance to look, at `now`: true when the queue is due.
    bool due(std::uint64_t now);
    // The queue has been drained at `now`, whether it was due or not.
    void drained(std::uint64_t now);

private:
    bool Overdue(std::uint64_t elapsed) const;

    std::uint64_t m_ticksPerSecond;
    bool m_drainedOnce = false;
    std::uint64_t m_lastDrain = 0;
    std::uint64_t m_lastChance = 0;
};
