#pragma once

// A timecode burnt into the corner of each view. The glyphs are drawn once
// per picture height and then copied into each frame, which costs next to
// nothing per frame.

#include "common.h"

#include <opencv2/core.hpp>
#include <vector>

namespace virtualcards {

class TimecodeOverlay
{
public:
    TimecodeOverlay(int pictureHeight, ColourMatrix matrix);

    // "hh:mm:ss:ff" near the top-left corner of `area` of a UYVY picture;
    // nothing when it does not fit.
    void draw(cv::Mat& uyvy, const cv::Rect& area, const TimecodeValue& timecode) const;

private:
    std::vector<cv::Mat> m_glyphs; // '0' to '9', then ':'
    cv::Size m_cell;
};

// The overlay for pictures of this height (made once, kept).
const TimecodeOverlay& timecodeOverlay(int pictureHeight, ColourMatrix matrix);

} // namespace virtualcards
