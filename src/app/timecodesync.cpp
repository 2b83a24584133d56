#include "app/timecodesync.h"

#include "camerasync/timecodeoffset.h"
#include "capture/decklinkcodenames.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int64_t kKeptMs = 2000;

} // namespace

void TimecodeSync::restart()
{
    m_inputs[0] = Input();
    m_inputs[1] = Input();
}

void TimecodeSync::frameArrived(bool right, const VideoFrame& frame, int64_t atMs)
{
    Input& input = m_inputs[right ? 1 : 0];
    const bool hasTimecode = frame.timecodeFormat != 0 && !frame.noInputSignal;
    if (!hasTimecode) {
        input = Input();
        return;
    }
    if (!input.seen || input.newest.timecode != frame.timecode)
        input.timecodeSince = atMs;
    input.newest = frame;
    input.newest.image = cv::Mat();
    input.seen = true;
    input.recent.push_back({frame.timecode, atMs});
    while (input.recent.front().atMs < atMs - kKeptMs)
        input.recent.pop_front();
}

bool TimecodeSync::usable(const Input& input, int64_t nowMs) const
{
    return input.seen && input.timecodeSince >= nowMs - kStandstillMs;
}

std::optional<TimecodeSync::Reading> TimecodeSync::reading(int64_t nowMs) const
{
    const Input& left = m_inputs[0];
    const Input& right = m_inputs[1];
    if (!usable(left, nowMs) || !usable(right, nowMs))
        return std::nullopt;
    Reading result;
    result.framesPerSecond = displayModeFrameRate(left.newest.displayMode);
    // Two modes of different rates have no frame in common to count by.
    if (displayModeFrameRate(right.newest.displayMode) != result.framesPerSecond)
        result.framesPerSecond = 0;

    // The first arrival of each timecode on the right against its first on the left.
    std::vector<int64_t> delays;
    for (size_t i = 0; i < right.recent.size(); ++i) {
        const Arrival& r = right.recent[i];
        if (i > 0 && right.recent[i - 1].timecode == r.timecode)
            continue;
        const auto l = std::find_if(left.recent.begin(), left.recent.end(),
                                    [&](const Arrival& a) { return a.timecode == r.timecode; });
        if (l != left.recent.end())
            delays.push_back(r.atMs - l->atMs);
    }
    if (!delays.empty()) {
        std::nth_element(delays.begin(), delays.begin() + delays.size() / 2, delays.end());
        result.milliseconds = double(delays[delays.size() / 2]);
        if (result.framesPerSecond > 0)
            result.frames = int(std::lround(result.milliseconds * result.framesPerSecond / 1000.0));
        return result;
    }
    // No timecode in common within the last seconds: the cameras' clocks disagree.
    if (result.framesPerSecond <= 0)
        return std::nullopt;
    result.frames = timecodeOffsetFrames(left.newest, right.newest, int(std::lround(result.framesPerSecond)));
    if (!result.frames)
        return std::nullopt;
    result.milliseconds = 1000.0 * *result.frames / result.framesPerSecond;
    return result;
}

QString timecodeSyncText(const TimecodeSync::Reading& reading)
{
    if (reading.frames)
        return motionOffsetText(timecodeOffset(*reading.frames), reading.framesPerSecond);
    const long ms = std::lround(reading.milliseconds);
    const QString rateUnknown =
        QStringLiteral("the display mode's frame rate is not known, so no count of frames");
    if (ms == 0)
        return QStringLiteral("in step (%1)").arg(rateUnknown);
    return QStringLiteral("%1 %2 ms late (%3)")
        .arg(ms > 0 ? QStringLiteral("right") : QStringLiteral("left"))
        .arg(std::labs(ms))
        .arg(rateUnknown);
}
