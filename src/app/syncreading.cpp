#include "app/syncreading.h"

#include <cmath>

SyncReading syncReading(const std::optional<TimecodeSync::Reading>& timecode,
                        const std::optional<MotionOffset>& motion, double framesPerSecond)
{
    SyncReading reading;
    if (timecode) {
        reading.source = SyncReading::Source::Timecode;
        reading.frames = timecode->frames;
        reading.confidence = 1;
        reading.text = timecodeSyncText(*timecode);
        return reading;
    }
    if (!motion) {
        reading.text = QStringLiteral("unknown: too few frames yet");
        return reading;
    }
    reading.source = SyncReading::Source::Motion;
    reading.confidence = motion->measured() ? motion->confidence : 0;
    if (!motion->measured()) {
        reading.text = motionOffsetText(*motion);
        if (motion->status == MotionOffset::Status::StillScene)
            reading.text += QStringLiteral("; move something in front of both cameras");
        return reading;
    }
    const long percent = std::lround(100 * motion->confidence);
    if (motion->confidence < kClearMotionConfidence) {
        reading.text =
            QStringLiteral("unknown: the motion does not settle it (confidence %1 %, under %2 %); move "
                           "something across both pictures")
                .arg(percent)
                .arg(std::lround(100 * kClearMotionConfidence));
        return reading;
    }
    reading.frames = motion->frames;
    reading.text =
        motionOffsetText(*motion, framesPerSecond) + QStringLiteral(", confidence %1 %").arg(percent);
    if (framesPerSecond <= 0 && motion->frames != 0)
        reading.text += QStringLiteral(" (no time in ms: the display mode's frame rate is not known)");
    return reading;
}

QString syncSourceName(SyncReading::Source source)
{
    switch (source) {
    case SyncReading::Source::Timecode:
        return QStringLiteral("timecode");
    case SyncReading::Source::Motion:
        return QStringLiteral("motion");
    case SyncReading::Source::None:
        break;
    }
    return QString();
}

QString syncLine(const SyncReading& reading)
{
    switch (reading.source) {
    case SyncReading::Source::Timecode:
        return QStringLiteral("Camera sync by timecode: ") + reading.text;
    case SyncReading::Source::Motion:
        return QStringLiteral("Camera sync from motion: ") + reading.text;
    case SyncReading::Source::None:
        break;
    }
    return QStringLiteral("Camera sync: ") + reading.text;
}
