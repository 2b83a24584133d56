#pragma once

// Detections with known geometry for the tests of the calibration indicators:
// the rectangles the board detector would report, placed by hand.

#include "calibration/calibrationindicators.h"

#include <QtGlobal>

// An upright rectangle, or one whose top edge rises by `rise` pixels over its
// width (a small turn that keeps the corners at right angles).
inline DetectedRectangle rectangle(float x, float y, float width, float height, float rise = 0)
{
    const float slant = rise * height / width;
    DetectedRectangle r;
    const bool stored = r.setCorners(std::vector<cv::Point2f>{
        {x, y}, {x + width, y + rise}, {x + width - slant, y + rise + height}, {x - slant, y + height}});
    Q_ASSERT(stored);
    Q_UNUSED(stored);
    return r;
}

// Three nested rectangles like the board's (480 by 240, 320 by 160 and 160 by
// 80 about the point 640, 360), moved, scaled about that point, or turned.
inline DetectedRectangles board(float dx = 0, float dy = 0, float scale = 1, float rise = 0)
{
    DetectedRectangles rectangles;
    for (float half : {240.f, 160.f, 80.f}) {
        const float w = 2 * half * scale;
        const float h = half * scale;
        rectangles.push_back(rectangle(640 - w / 2 + dx, 360 - h / 2 + dy, w, h, rise));
    }
    return rectangles;
}
