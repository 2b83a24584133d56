#pragma once

// The disparity module (the inherited "tesra" of the file name is the board
// detector's, see calibration/tesra_board_detector.h). The disparity analysis
// of one stereo pair: the raw map from the semi-global block matcher, its grey
// and parallax-coloured pictures, the histogram of its disparities, and the
// parallax limits that colour the map and the plot.
//
// Disparities are left image position minus right image position, in pixels.
// The raw map is CV_16S holding sixteenths of a pixel; the matcher marks a
// pixel it cannot match with a value below minDisparity x 16.

#include "disparity/depthbudget.h"
#include "disparity/rigcorrection.h"

#include <QMetaType>
#include <cstdint>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <vector>

// The histogram of one analysis and the limits it was coloured with, all in
// whole disparity pixels. Travels by value through queued connections.
struct DisparityHistogramInfo
{
    // One bin per whole disparity from minDisparity to maxDisparity inclusive,
    // matched pixels only; the largest bin is 1.0 (all 0 when nothing matched).
    std::vector<double> histogram;
    int32_t minDisparity = 0;
    int32_t maxDisparity = 0;
    int32_t farDisparity = 0;
    int32_t screenDisparityLow = 0;  // exclusive
    int32_t screenDisparityHigh = 0; // exclusive
    int32_t nearDisparity = 0;
    // Nearest and farthest parallax of the matched pixels and their difference.
    DepthBudget budget;
    // The misalignment taken out of the right picture before matching.
    RigCorrection correction;
};

Q_DECLARE_METATYPE(DisparityHistogramInfo)

// The parallax settings (percent of the picture width) turned into disparity
// pixels. A parallax of p pixels is a disparity of -p pixels.
struct ParallaxLimits
{
    int farDisparity = 0;
    int screenDisparityLow = 0;  // exclusive
    int screenDisparityHigh = 0; // exclusive
    int nearDisparity = 0;
};

struct DisparityColor
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// The one colour rule of the coloured map and the histogram plot. `disparity`
// is counted in `unitsPerPixel` steps (16 for the raw map, 1 for the plot's
// whole pixels); the searched range and the limits are in whole pixels. Classes,
// first match wins: unmatched (below the range) black; inside the screen band
// green; beyond the far limit blue and beyond the near limit red, both darkening
// toward the end of the range; otherwise a grey ramp over the range.
DisparityColor disparityColor(int disparity, int unitsPerPixel, int minDisparity, int maxDisparity,
                              const ParallaxLimits& limits);

ParallaxLimits computeParallaxLimits(int imageWidth, int minDisparity, int maxDisparity, double parallaxNear,
                                     double parallaxScreen, double parallaxFar);

// A new matcher for one computation. Refuses (cv::Exception) a searched range
// that is not a positive multiple of 16 or does not fit the raw map's 16 bits,
// and a block size that is even or outside 1..31.
cv::Ptr<cv::StereoSGBM> createDisparityMatcher(int minDisparity, int maxDisparity, int blockSize);

// Raw map of a blue-green-red pair. Refuses (cv::Exception) images that are
// empty, differ in size or type, or are not 8-bit three-channel, and the
// settings createDisparityMatcher refuses, before the matcher runs.
cv::Mat computeDisparityMap(const cv::Mat& left, const cv::Mat& right, int minDisparity, int maxDisparity,
                            int blockSize);

// The raw map stretched to 0..255 from its smallest to its largest value.
cv::Mat disparityToGray(const cv::Mat& raw);

// The raw map in blue-green-red, coloured with disparityColor.
cv::Mat colorizeDisparity(const cv::Mat& raw, int minDisparity, int maxDisparity, int farDisparity,
                          int screenDisparityLow, int screenDisparityHigh, int nearDisparity);

// Relative frequency of each whole disparity (rounded toward zero) among the
// matched pixels; disparities above the range count in the last bin.
std::vector<double> disparityHistogram(const cv::Mat& raw, int16_t minDisparity, int16_t maxDisparity);
