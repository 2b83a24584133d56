#pragma once

// The measured misalignment of the right camera taken out of its picture
// before the disparities are matched, so that the depth budget is the
// scene's and not also the rig's: a 1 % size difference alone moves the
// parallax at the picture's edges by half a percent of the width, and a
// vertical difference of a few pixels makes the matcher mismatch.
//
// The model is the board readout's: the right picture is the left one
// scaled, turned about the picture's centre and moved down,
//
//     right point = s * R(roll) * (left point - centre) + centre + (0, vertical)
//
// with the readout's signs (right picture larger, turned clockwise on screen,
// lower: positive). The horizontal offset is left in: it is the convergence,
// part of the parallax being measured.

#include <QString>
#include <opencv2/core.hpp>

struct RigCorrection
{
    bool active = false; // false: the pictures are matched as they come
    double verticalPercentOfHeight = 0;
    double rollDegrees = 0;
    double sizePercent = 0;
};

// The right picture brought onto the left one's geometry (same size and type);
// the right picture itself when the correction is not active.
cv::Mat alignedToLeft(const cv::Mat& right, const RigCorrection& correction);

// "right picture corrected for the rig: size +1.00 %, roll +0.30 deg, vertical
// +0.19 % of the height", or that it was not corrected and why it matters.
QString correctionNote(const RigCorrection& correction);
