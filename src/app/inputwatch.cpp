#include "app/inputwatch.h"

#include <algorithm>
#include <cstdlib>

namespace {

QString sideName(InputWatch::Side side)
{
    return side == InputWatch::Left ? QStringLiteral("left") : QStringLiteral("right");
}

QString labelKind(bool timecode)
{
    return timecode ? QStringLiteral("timecode") : QStringLiteral("hardware time");
}

// Frames are counted over this long for the rate: the window receives them in bursts.
constexpr int64_t kRateWindowMs = 5000;
// Time labels at most this many seconds apart belong to inputs that run together.
constexpr int kTogetherSeconds = 2;

QString wholeSeconds(int64_t milliseconds)
{
    return QString::number(milliseconds / 1000);
}

} // namespace

void InputWatch::restart(int64_t atMs)
{
    m_inputs[Left] = Input();
    m_inputs[Right] = Input();
    m_start = atMs;
    m_quietSince = atMs;
    m_running = true;
}

void InputWatch::frameArrived(Side side, const VideoFrame& frame, int64_t atMs)
{
    Input& input = m_inputs[side];
    while (!input.recent.empty() && input.recent.front() <= atMs - kRateWindowMs)
        input.recent.pop_front();
    input.recent.push_back(atMs);
    ++input.frames;
    const int64_t previousArrival = input.lastArrival;
    input.lastArrival = atMs;
    input.noSignal = frame.noInputSignal;
    if (frame.noInputSignal)
        return;

    const uint32_t label = timeLabel(frame);
    const bool hasTimecode = frame.timecodeFormat != 0;
    const bool first = input.labelSince < 0 || hasTimecode != input.hasTimecode;
    const uint32_t previous = input.lastLabel;
    input.hasTimecode = hasTimecode;
    if (!first && label == previous)
        return;
    input.lastLabel = label;
    input.labelSince = atMs;
    if (first) {
        input.highestFrameNumber = std::max(input.highestFrameNumber, timeWordFrames(label));
        return;
    }

    // The labels count frames from 0 to the highest number within a second;
    // that rate is known once a second has been seen to pass.
    if (timeWordSeconds(label) != timeWordSeconds(previous) && timeWordFrames(label) == 0)
        input.labelRate = std::max(input.labelRate, input.highestFrameNumber + 1);
    input.highestFrameNumber = std::max(input.highestFrameNumber, timeWordFrames(label));
    if (input.labelRate < 2)
        return;
    const int64_t step =
        (timeWordSeconds(label) - timeWordSeconds(previous)) * input.labelRate + timeWordFrames(label) - timeWordFrames(previous);
    // A jump of more than two seconds, or back, is a new take rather than lost frames.
    if (step > 1 && step <= 2 * input.labelRate)
        input.skipped += step - 1;
    const int64_t interval = 1000 / input.labelRate;
    if (previousArrival >= 0 && atMs - previousArrival > interval + interval / 2)
        ++input.late;
}

void InputWatch::pairMade(int64_t atMs)
{
    m_quietSince = atMs;
}

void InputWatch::expectPairsFrom(int64_t atMs)
{
    m_quietSince = atMs;
}

double InputWatch::measuredRate(const Input& input)
{
    if (input.recent.size() < 2 || input.recent.back() == input.recent.front())
        return 0;
    return double(input.recent.size() - 1) * 1000.0 / double(input.recent.back() - input.recent.front());
}

QString InputWatch::inputSummary(Side side) const
{
    const Input& input = m_inputs[side];
    if (!m_running)
        return QString();
    if (input.frames == 0)
        return QStringLiteral("no frames yet");
    const double rate = measuredRate(input);
    const QString measured = rate > 0 ? QStringLiteral("%1 frames/s").arg(rate, 0, 'f', 1)
                                      : QStringLiteral("frame rate: measuring");
    if (input.labelRate < 2)
        return measured + QStringLiteral("; skipped and late frames are counted once the time labels have "
                                         "shown a whole second");
    return measured +
           QStringLiteral("; since the start %1 frames skipped, %2 late").arg(input.skipped).arg(input.late);
}

QString InputWatch::waitingReason(int64_t nowMs) const
{
    if (!m_running)
        return QString();
    if (nowMs - m_quietSince < kPatienceMs)
        return QString();
    QString reason = silenceReason(nowMs);
    if (reason.isEmpty())
        reason = labelReason(nowMs);
    return QStringLiteral("Waiting for a pair: ") + reason;
}

QString InputWatch::silenceReason(int64_t nowMs) const
{
    int64_t silence[2];
    for (Side side : {Left, Right}) {
        const Input& input = m_inputs[side];
        silence[side] = nowMs - (input.lastArrival >= 0 ? input.lastArrival : m_start);
    }
    const bool leftSilent = silence[Left] >= kPatienceMs;
    const bool rightSilent = silence[Right] >= kPatienceMs;
    if (leftSilent && rightSilent)
        return QStringLiteral("no frames from either input for %1 s")
            .arg(wholeSeconds(std::min(silence[Left], silence[Right])));
    for (Side side : {Left, Right}) {
        if (silence[side] >= kPatienceMs)
            return QStringLiteral("no frames from the %1 input for %2 s")
                .arg(sideName(side), wholeSeconds(silence[side]));
        if (m_inputs[side].noSignal)
            return QStringLiteral("the %1 input has no signal; check its cable and camera")
                .arg(sideName(side));
    }
    return QString();
}

QString InputWatch::labelReason(int64_t nowMs) const
{
    const Input& left = m_inputs[Left];
    const Input& right = m_inputs[Right];
    if (left.hasTimecode != right.hasTimecode) {
        const Side with = left.hasTimecode ? Left : Right;
        return QStringLiteral("the %1 input has a timecode and the %2 input none, so their time labels never "
                              "meet; give both inputs timecode or neither")
            .arg(sideName(with), sideName(with == Left ? Right : Left));
    }
    const QString kind = labelKind(left.hasTimecode);
    for (Side side : {Left, Right}) {
        const Input& input = m_inputs[side];
        if (nowMs - input.labelSince >= kPatienceMs)
            return QStringLiteral("the %1 input's %2 has stood at %3 for %4 s")
                .arg(sideName(side), kind, formatTimeWord(input.lastLabel),
                     wholeSeconds(nowMs - input.labelSince));
    }
    // Frames count within a second.
    const int rate = std::max(
        {left.labelRate, right.labelRate, timeWordFrames(left.lastLabel) + 1, timeWordFrames(right.lastLabel) + 1});
    const int64_t gap = timeWordSeconds(left.lastLabel) * rate + timeWordFrames(left.lastLabel) -
                        (timeWordSeconds(right.lastLabel) * rate + timeWordFrames(right.lastLabel));
    // Labels this close are those of frames on their way to pairing: the
    // inputs run together and the analysis is what keeps the pairs.
    if (std::abs(gap) <= kTogetherSeconds * rate)
        return QStringLiteral("the inputs' %1s run together (left %2, right %3), yet no pair for %4 s; the "
                              "analysis is still busy")
            .arg(kind, formatTimeWord(left.lastLabel), formatTimeWord(right.lastLabel),
                 wholeSeconds(nowMs - m_quietSince));
    const Side behind = gap > 0 ? Right : Left;
    const Side ahead = gap > 0 ? Left : Right;
    const QString distance = QStringLiteral("%1 s").arg(std::abs(gap) / rate);
    return QStringLiteral("the %1 input's %2 is %3 behind the %4 (%1 %5, %4 %6)")
        .arg(sideName(behind), kind, distance, sideName(ahead), formatTimeWord(m_inputs[behind].lastLabel),
             formatTimeWord(m_inputs[ahead].lastLabel));
}
