#pragma once

// The offset between two inputs whose signals both carry timecode, measured
// as their frames arrive. Two cameras whose timecodes agree send frames of
// one instant with one timecode; the time between the arrivals of the left
// and the right frame of one timecode is how far one signal runs behind the
// other. Timecodes that disagree (cameras not jammed) are compared as they
// stand, newest frame against newest frame. Times are milliseconds on one
// clock. No widgets, so known frames at known times test it.

#include "camerasync/motionoffset.h"
#include "pipeline/videoframe.h"

#include <cstdint>
#include <deque>
#include <optional>

class TimecodeSync
{
public:
    // How long a timecode may stand still before it is taken for unusable.
    static constexpr int64_t kStandstillMs = 1000;

    void restart();
    void frameArrived(bool right, const VideoFrame& frame, int64_t atMs);

    struct Reading
    {
        // Right camera late: positive; none when the frame rate is not known.
        std::optional<int> frames;
        // Right camera late: positive.
        double milliseconds = 0;
        // Of the display mode; 0 when not known.
        double framesPerSecond = 0;
    };
    // None unless both inputs carry timecode that advances.
    std::optional<Reading> reading(int64_t nowMs) const;

private:
    struct Arrival
    {
        uint32_t timecode;
        int64_t atMs;
    };
    struct Input
    {
        std::deque<Arrival> recent; // the last two seconds
        VideoFrame newest;          // its words; the picture is not kept
        bool seen = false;
        int64_t timecodeSince = -1; // when the timecode last changed
    };
    bool usable(const Input& input, int64_t nowMs) const;

    Input m_inputs[2];
};

// "right 1 frame late (40 ms)", "in step"; "right 40 ms late (the display
// mode's frame rate is not known, so no count of frames)".
QString timecodeSyncText(const TimecodeSync::Reading& reading);
