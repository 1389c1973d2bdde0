#include "dialog/PumpSchedule.h"

#include <gtest/gtest.h>

#include <cstdint>

// The schedule counts in the ticks of whatever clock the window system has: a millisecond
// clock, a microsecond one, and performance counters from 10 MHz to far beyond any real one.
namespace {

const std::uint64_t theTicksPerSecond[] = {1000, 1000000, 10000000, 3000000000, 1000000000000};
const std::uint64_t theStart = 123456789;

std::uint64_t IntervalTicks(std::uint64_t ticksPerSecond) {
    return ticksPerSecond / (1000000 / PumpSchedule::PUMP_INTERVAL_US);
}

// One chance after a drain counts twice (it is also taken as the pace of the next one): it is
// due once half the interval has passed.
TEST(PumpScheduleTest, OneChanceAfterADrainIsDueAtHalfTheIntervalOnEveryClock) {
    for (std::uint64_t perSecond : theTicksPerSecond) {
        std::uint64_t half = IntervalTicks(perSecond) / 2;
        PumpSchedule early(perSecond);
        early.drained(theStart);
        EXPECT_FALSE(early.due(theStart + half - 1)) << perSecond;
        PumpSchedule onTime(perSecond);
        onTime.drained(theStart);
        EXPECT_TRUE(onTime.due(theStart + half)) << perSecond;
    }
}

TEST(PumpScheduleTest, ChancesAtAFastPaceWaitForTheInterval) {
    for (std::uint64_t perSecond : theTicksPerSecond) {
        std::uint64_t interval = IntervalTicks(perSecond);
        std::uint64_t step = interval / 10;
        PumpSchedule schedule(perSecond);
        schedule.drained(theStart);
        std::uint64_t now = theStart;
        int chances = 0;
        do {
            now += step;
            ++chances;
        } while (!schedule.due(now));
        // Due one chance early: the next one would come after the interval.
        EXPECT_EQ(9, chances) << perSecond;
    }
}

TEST(PumpScheduleTest, IsDueBeforeTheFirstDrainAfterALongGapAndWhenTheClockGoesBack) {
    for (std::uint64_t perSecond : theTicksPerSecond) {
        PumpSchedule schedule(perSecond);
        EXPECT_TRUE(schedule.due(theStart)) << perSecond;
        schedule.drained(theStart);
        EXPECT_TRUE(schedule.due(theStart - 1)) << perSecond;
        schedule.drained(theStart);
        // Long enough that the gap times a million wraps around to nothing.
        EXPECT_TRUE(schedule.due(theStart + (std::uint64_t{1} << 60))) << perSecond;
    }
}

}  // namespace
