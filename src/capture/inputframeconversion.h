#pragma once

#include "pipeline/videoframe.h"

#include <decklink/DeckLinkAPI.h>

#include <QMutex>
#include <opencv2/core.hpp>
#include <vector>

// The pictures a card's frames are converted into, used again once every
// holder downstream (queues, workers, views) has let go of them: a capture
// at 50 frames a second otherwise asks the system for 6 MB of fresh memory per
// 1080p frame and faults in its pages while converting into it.
class PicturePool
{
public:
    // A BGR picture of the size that no one else holds; its pixels are left
    // as they were. The pool keeps a few of the size last asked for; while
    // all of them are held a new picture is made.
    cv::Mat take(int rows, int cols);

private:
    QMutex m_mutex;
    std::vector<cv::Mat> m_pictures;
};

// Reads one captured frame into a VideoFrame: the timecode (formats tried in
// a fixed order), the hardware and stream times at time scale 25000 as
// hours, minutes, seconds and frames, the format codes of the ancillary data,
// and the picture as 8-bit BGR in a buffer from the pool (or a fresh one without a pool): written by the
// card's conversion in one pass where it knows the program's BGR, else
// converted by the card to BGRA and from that to BGR. A picture that cannot be
// converted is never delivered as it came: the frame says no signal, with the
// reason in noSignalReason and a black picture of its size. Every driver
// object obtained is released. Returns false (nothing to deliver) for a null
// frame.
bool convertInputFrame(IDeckLinkVideoInputFrame* inputFrame, IDeckLinkOutput* output,
                       IDeckLinkVideoConversion* conversion, VideoFrame& result, PicturePool* pool = nullptr);

// Hours, minutes, seconds and frames (at 25 frames per second) of a time in
// units of 1/25000 s, packed into a time word; hours are kept to 8 bits.
uint32_t timeWordFromTicks(BMDTimeValue ticks);

// The time scale in which the hardware and stream times are read.
constexpr BMDTimeScale captureTimeScale = 25000;
