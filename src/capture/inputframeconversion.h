#pragma once

#include "pipeline/videoframe.h"

#include <decklink/DeckLinkAPI.h>

// Reads one captured frame into a VideoFrame: the timecode (formats tried in
// a fixed order), the hardware and stream times at time scale 25000 as
// hours, minutes, seconds and frames, the format codes of the ancillary data,
// and the picture, converted through the card to BGRA and then to 8-bit BGR in
// a freshly allocated buffer. Every driver object obtained is released.
// Returns false (nothing to deliver) for a null frame or when the card gives no
// frame to convert into.
bool convertInputFrame(IDeckLinkVideoInputFrame* inputFrame, IDeckLinkOutput* output,
                       IDeckLinkVideoConversion* conversion, VideoFrame& result);

// Hours, minutes, seconds and frames (at 25 frames per second) of a time in
// units of 1/25000 s, packed into a time word; hours are kept to 8 bits.
uint32_t timeWordFromTicks(BMDTimeValue ticks);

// The time scale in which the hardware and stream times are read.
constexpr BMDTimeScale captureTimeScale = 25000;
