#pragma once

// The frame instants and timecode of a genlock group, or of one card running
// free. Frame n of a mode falls at origin + n frame durations; its timecode
// is the start timecode plus n frames. Cards of one group share the clock, so
// frames of the same instant carry the same timecode and hardware time.

#include "common.h"

#include <chrono>

namespace virtualcards {

using SteadyClock = std::chrono::steady_clock;

// Origin of the hardware reference clock of all cards.
SteadyClock::time_point hardwareClockOrigin();

// The local time of day now, as a start timecode.
TimecodeStart timeOfDayNow();

class FrameClock
{
public:
    FrameClock(SteadyClock::time_point origin, TimecodeStart start);

    SteadyClock::time_point instant(int64_t index, const DisplayModeInfo& mode) const;
    // The first frame of this mode that falls after `time`.
    int64_t nextIndexAfter(SteadyClock::time_point time, const DisplayModeInfo& mode) const;
    // Seconds from the origin to frame `index`.
    double seconds(int64_t index, const DisplayModeInfo& mode) const;
    // Hours wrap at 24, as timecode does.
    TimecodeValue timecode(int64_t index, const DisplayModeInfo& mode, BMDTimecodeUserBits userBits) const;
    // The origin on the hardware reference clock.
    int64_t originNs() const { return m_originNs; }

private:
    SteadyClock::time_point m_origin;
    int64_t m_originNs;
    TimecodeStart m_start;
};

} // namespace virtualcards
