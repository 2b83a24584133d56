#pragma once

#include "app/timecodesync.h"
#include "camerasync/motionoffset.h"

#include <QString>
#include <optional>

// The cameras' offset as the acquisition tab shows it and the take log keeps it.
struct SyncReading
{
    enum class Source
    {
        None,
        Timecode,
        Motion,
    };
    Source source = Source::None;
    // Right camera late: positive; none when there is no figure to trust.
    std::optional<int> frames;
    // 1 for timecode; for motion how clearly the best shift wins, 0 to 1.
    double confidence = 0;
    // "right 1 frame late (40 ms)", or why there is no figure.
    QString text;
};

// Below this the motion estimate gives no figure: its best shift barely wins.
constexpr double kClearMotionConfidence = 0.3;

// Timecode where both inputs carry timecode that advances (from two cards:
// the halves of one signal share its timecode, which says nothing of them);
// the motion estimate otherwise. framesPerSecond: of the display mode, 0 when
// not known.
SyncReading syncReading(const std::optional<TimecodeSync::Reading>& timecode,
                        const std::optional<MotionOffset>& motion, double framesPerSecond);

// "timecode", "motion" or empty.
QString syncSourceName(SyncReading::Source source);
// The line of the acquisition tab: "Camera sync by timecode: right 1 frame late (40 ms)".
QString syncLine(const SyncReading& reading);
