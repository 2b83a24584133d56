#include "camerasync/timecodeoffset.h"

namespace {

constexpr qint64 kSecondsPerDay = 24 * 3600;

// Frames since midnight of a time word.
qint64 framesOf(uint32_t word, int rate)
{
    return timeWordSeconds(word) * rate + timeWordFrames(word);
}

} // namespace

std::optional<int> timecodeOffsetFrames(const VideoFrame& left, const VideoFrame& right, int timecodeRate)
{
    if (left.timecodeFormat == 0 || right.timecodeFormat == 0 || timecodeRate <= 0)
        return std::nullopt;
    const qint64 day = kSecondsPerDay * timecodeRate;
    qint64 behind = (framesOf(left.timecode, timecodeRate) - framesOf(right.timecode, timecodeRate)) % day;
    if (behind > day / 2)
        behind -= day;
    else if (behind < -day / 2)
        behind += day;
    return int(behind);
}

MotionOffset timecodeOffset(int frames)
{
    MotionOffset offset;
    offset.status = MotionOffset::Status::Measured;
    offset.frames = frames;
    offset.confidence = 1;
    offset.correlation = 1;
    return offset;
}
