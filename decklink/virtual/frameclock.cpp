#include "frameclock.h"

#include <algorithm>
#include <ctime>

namespace virtualcards {

SteadyClock::time_point hardwareClockOrigin()
{
    static const SteadyClock::time_point origin = SteadyClock::now();
    return origin;
}

TimecodeStart timeOfDayNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TimecodeStart{local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, 0};
}

FrameClock::FrameClock(SteadyClock::time_point origin, TimecodeStart start)
    : m_origin(origin),
      m_originNs(
          std::chrono::duration_cast<std::chrono::nanoseconds>(origin - hardwareClockOrigin()).count()),
      m_start(start)
{}

SteadyClock::time_point FrameClock::instant(int64_t index, const DisplayModeInfo& mode) const
{
    const int64_t ns =
        floorDivide(static_cast<__int128>(index) * mode.frameDuration * nanosecondsPerSecond, mode.timeScale);
    return m_origin + std::chrono::nanoseconds(ns);
}

int64_t FrameClock::nextIndexAfter(SteadyClock::time_point time, const DisplayModeInfo& mode) const
{
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(time - m_origin).count();
    return floorDivide(static_cast<__int128>(ns) * mode.timeScale,
                       static_cast<__int128>(mode.frameDuration) * nanosecondsPerSecond) +
           1;
}

double FrameClock::seconds(int64_t index, const DisplayModeInfo& mode) const
{
    return static_cast<double>(index) * static_cast<double>(mode.frameDuration) /
           static_cast<double>(mode.timeScale);
}

TimecodeValue FrameClock::timecode(int64_t index, const DisplayModeInfo& mode,
                                   BMDTimecodeUserBits userBits) const
{
    const int64_t rate = mode.timecodeRate();
    const int64_t day = 24 * 3600 * rate;
    const int64_t startFrames = m_start.seconds * rate + std::min<int64_t>(m_start.frames, rate - 1);
    int64_t frames = (startFrames + index) % day;
    if (frames < 0)
        frames += day;
    TimecodeValue value;
    value.frames = static_cast<uint8_t>(frames % rate);
    const int64_t seconds = frames / rate;
    value.seconds = static_cast<uint8_t>(seconds % 60);
    value.minutes = static_cast<uint8_t>(seconds / 60 % 60);
    value.hours = static_cast<uint8_t>(seconds / 3600);
    value.userBits = userBits;
    return value;
}

} // namespace virtualcards
