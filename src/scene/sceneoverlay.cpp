#include "scene/scenealignment.h"

#include <opencv2/imgproc.hpp>

void drawSceneMatches(cv::Mat& image, const SceneMeasurement& measurement, const ReadoutBand& verticalBand)
{
    const cv::Scalar green(0, 200, 0), yellow(0, 220, 255), red(0, 0, 255);
    const int radius = std::max(2, image.cols / 400);
    for (const SceneMatch& match : measurement.inliers) {
        const double error = match.residualPixels;
        const cv::Scalar colour = error >= verticalBand.greenLow && error <= verticalBand.greenHigh ? green
                                  : error >= verticalBand.yellowLow && error <= verticalBand.yellowHigh
                                      ? yellow
                                      : red;
        cv::line(image, match.left, match.right, colour, 1, cv::LINE_8);
        cv::circle(image, match.left, radius, colour, cv::FILLED, cv::LINE_8);
    }
}
