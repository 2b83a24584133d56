#pragma once

// The offset between the two inputs read from their timecodes: where both
// signals carry timecode, the newest frames of the two inputs should carry the
// same one; the difference is how far one camera runs behind the other.

#include "camerasync/motionoffset.h"
#include "pipeline/videoframe.h"

#include <optional>

// Frames by which the right input's newest frame is behind the left one's
// (the right camera late: positive), counting `timecodeRate` frames a second
// (30 for 29.97); the nearer way round midnight. None unless both frames
// carry timecode and the rate is known.
std::optional<int> timecodeOffsetFrames(const VideoFrame& left, const VideoFrame& right, int timecodeRate);

// The offset as the motion estimate gives it, so that both read alike:
// "in step", "right 1 frame late (40 ms)".
MotionOffset timecodeOffset(int frames);
