#pragma once

#include <array>
#include <opencv2/core.hpp>

// Whether the right picture is oriented as the left one. A mirror rig's
// reflected camera has to be flipped and a camera mounted upside down turned;
// with the wrong setting the symmetric board still matches and the indicators
// look almost fine, but the scene around it does not. The two pictures are
// reduced, turned into gradient magnitudes (which do not care for the sign of
// an edge, so a mirrored edge still counts) and compared by normalised
// correlation with the right picture as it is, mirrored left-right, mirrored
// top-bottom and turned 180 degrees.

enum class PictureOrientation
{
    AsIs = 0,
    MirroredLeftRight = 1,
    MirroredTopBottom = 2,
    Turned180 = 3,
};

struct OrientationCheck
{
    // Normalised correlation (-1 to 1) of the left picture with the right one
    // under each orientation, in the order of PictureOrientation.
    std::array<double, 4> scores{};
    // The orientation that fits best; AsIs unless another one fits clearly
    // better than the picture as it is.
    PictureOrientation verdict = PictureOrientation::AsIs;
};

// The width the pictures are reduced to before they are compared.
inline constexpr int kOrientationCheckWidth = 160;
// How much better than "as is" another orientation must fit, and how well at
// least, before it is reported: a scene without structure (a grey wall, a
// black frame) fits no orientation and reports nothing.
inline constexpr double kOrientationMargin = 0.05;
inline constexpr double kOrientationMinimumScore = 0.3;

// Compares two 8-bit pictures (grey or BGR) of any size. Pictures without
// pixels give the AsIs verdict with all scores 0.
OrientationCheck checkOrientation(const cv::Mat& left, const cv::Mat& right);

// The flip code of cv::flip that applies orientation (AsIs: none).
int flipCode(PictureOrientation orientation);
