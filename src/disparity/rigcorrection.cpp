#include "disparity/rigcorrection.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

QString signedFigure(double value, int decimals)
{
    return (value >= 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals);
}

} // namespace

cv::Mat alignedToLeft(const cv::Mat& right, const RigCorrection& correction)
{
    if (!correction.active || right.empty())
        return right;
    const double scale = 1.0 + correction.sizePercent * 0.01;
    const double angle = correction.rollDegrees * CV_PI / 180.0;
    const double c = std::cos(angle) * scale, s = std::sin(angle) * scale;
    // Image y runs down, so this matrix turns clockwise on screen for a positive roll.
    const double cx = right.cols / 2.0, cy = right.rows / 2.0;
    const double vertical = correction.verticalPercentOfHeight * 0.01 * right.rows;
    // Left point -> right point; sampling the right picture through it puts
    // every right pixel where the left camera would have seen it.
    const cv::Matx23d leftToRight(c, -s, cx - c * cx + s * cy, s, c, cy + vertical - s * cx - c * cy);
    cv::Mat aligned;
    cv::warpAffine(right, aligned, cv::Mat(leftToRight), right.size(),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    return aligned;
}

QString correctionNote(const RigCorrection& correction)
{
    if (!correction.active)
        return QStringLiteral("pictures not corrected for the rig's misalignment (no board reading on the "
                              "Camera Calibration tab): a size or vertical difference shifts the budget");
    return QStringLiteral("right picture corrected for the rig's misalignment read on the board: size %1 %, "
                          "roll %2 deg, vertical %3 % of the height")
        .arg(signedFigure(correction.sizePercent, 2), signedFigure(correction.rollDegrees, 2),
             signedFigure(correction.verticalPercentOfHeight, 2));
}
