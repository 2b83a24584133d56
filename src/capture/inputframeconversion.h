#pragma once

#include "pipeline/videoframe.h"

#include <decklink/DeckLinkAPI.h>

// Reads one captured frame into a VideoFrame: the timecode (formats tried in
// a fixed order), the hardware and stream times at time scale 25000 as
// hours, minutes, seconds and frames, the format codes of the ancillary data,
// and the picture as 8-bit BGR in a freshly allocated buffer: written by the
// card's conversion in one pass where it knows the program's BGR, else
// converted by the card to BGRA and from that to BGR. A picture that cannot be
// converted is never delivered as it came: the frame says no signal, with the
// reason in noSignalReason and a black picture of its size. Every driver
// object obtained is released. Returns false (nothing to deliver) for a null
// frame.
bool convertInputFrame(IDeckLinkVideoInputFrame* inputFrame, IDeckLinkOutput* output,
                       IDeckLinkVideoConversion* conversion, VideoFrame& result);

// Hours, minutes, seconds and frames (at 25 frames per second) of a time in
// units of 1/25000 s, packed into a time word; hours are kept to 8 bits.
uint32_t timeWordFromTicks(BMDTimeValue ticks);

// The time scale in which the hardware and stream times are read.
constexpr BMDTimeScale captureTimeScale = 25000;
