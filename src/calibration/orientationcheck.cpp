#include "calibration/orientationcheck.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace {

// The picture reduced to `size`, as a smoothed gradient magnitude with its
// mean taken away and scaled to unit length, so that a dot product of two of
// them is their normalised correlation.
cv::Mat gradientSignature(const cv::Mat& picture, cv::Size size)
{
    // Sampled to four times the size first, then averaged: an area average
    // over the whole 1080p picture costs more than the rest of the check.
    cv::Mat sampled;
    cv::resize(picture, sampled, size * 4, 0, 0, cv::INTER_NEAREST);
    cv::Mat small;
    cv::resize(sampled, small, size, 0, 0, cv::INTER_AREA);
    cv::Mat grey;
    if (small.channels() == 3)
        cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
    else if (small.channels() == 4)
        cv::cvtColor(small, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = small;
    cv::Mat gx;
    cv::Mat gy;
    cv::Sobel(grey, gx, CV_32F, 1, 0, 3);
    cv::Sobel(grey, gy, CV_32F, 0, 1, 3);
    cv::Mat magnitude;
    cv::magnitude(gx, gy, magnitude);
    // The two cameras see the scene from a little apart: blurring lets the
    // edges of objects at other depths than the board still overlap.
    cv::GaussianBlur(magnitude, magnitude, cv::Size(5, 5), 0);
    magnitude -= cv::mean(magnitude)[0];
    const double length = cv::norm(magnitude);
    if (length > 0)
        magnitude /= length;
    return magnitude;
}

} // namespace

int flipCode(PictureOrientation orientation)
{
    switch (orientation) {
    case PictureOrientation::MirroredLeftRight:
        return 1;
    case PictureOrientation::MirroredTopBottom:
        return 0;
    case PictureOrientation::Turned180:
        return -1;
    case PictureOrientation::AsIs:
        break;
    }
    return 2; // not a flip code
}

OrientationCheck checkOrientation(const cv::Mat& left, const cv::Mat& right)
{
    OrientationCheck check;
    if (left.empty() || right.empty() || left.depth() != CV_8U || right.depth() != CV_8U)
        return check;
    // Both at the left picture's aspect: a right picture of another size is
    // still compared rather than refused.
    const int height =
        std::max(8, static_cast<int>(std::lround(double(kOrientationCheckWidth) * left.rows / left.cols)));
    const cv::Size size(kOrientationCheckWidth, height);
    const cv::Mat l = gradientSignature(left, size);
    const cv::Mat r = gradientSignature(right, size);

    for (int o = 0; o < 4; ++o) {
        const auto orientation = static_cast<PictureOrientation>(o);
        cv::Mat turned;
        if (orientation == PictureOrientation::AsIs)
            turned = r;
        else
            cv::flip(r, turned, flipCode(orientation));
        check.scores[size_t(o)] = l.dot(turned);
    }
    const auto best = std::max_element(check.scores.begin(), check.scores.end());
    const double asIs = check.scores[0];
    if (*best >= kOrientationMinimumScore && *best - asIs >= kOrientationMargin)
        check.verdict = static_cast<PictureOrientation>(best - check.scores.begin());
    return check;
}
