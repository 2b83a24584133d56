#include "disparity/tesra_disparity_map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int rawUnitsPerPixel = 16;

// Toward zero, held in 16 bits; saturated instead of undefined outside them.
int16_t truncateTo16Bits(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int16_t>(std::clamp(std::trunc(value), -32768.0, 32767.0));
}

// Toward zero, then held to 0..255 so that a value outside saturates instead
// of wrapping to a colour of another class.
uint8_t colorChannel(double value)
{
    return static_cast<uint8_t>(std::clamp(std::trunc(value), 0.0, 255.0));
}

void requireRawMap(const cv::Mat& raw, const char* function)
{
    if (raw.type() != CV_16SC1)
        CV_Error(cv::Error::StsUnsupportedFormat,
                 std::string(function) + " - the raw disparity map must be 16-bit signed with one channel");
}

} // namespace

DisparityColor disparityColor(int disparity, int unitsPerPixel, int minDisparity, int maxDisparity,
                              const ParallaxLimits& limits)
{
    const int d = disparity;
    const int min = minDisparity * unitsPerPixel;
    const int max = maxDisparity * unitsPerPixel;
    const int far = limits.farDisparity * unitsPerPixel;
    const int low = limits.screenDisparityLow * unitsPerPixel;
    const int high = limits.screenDisparityHigh * unitsPerPixel;
    const int near = limits.nearDisparity * unitsPerPixel;

    // First, so that pixels the matcher gave up on never pass for depth.
    if (d < min)
        return {0, 0, 0};
    if (low < d && d < high)
        return {0, 204, 0};
    if (d < far) {
        // min <= d < far here, so the denominator is positive.
        const double u = 1.0 - (double(far - d) / double(far - min)) * 0.75;
        return {colorChannel(128 * u), colorChannel(128 * u), colorChannel(255 * u)};
    }
    if (d > near) {
        // The shade falls from 1 at the limit to 0.25 at the end of the range;
        // a near limit at or past that end leaves only the end value.
        const double u = max > near ? 1.0 - (double(d - near) / double(max - near)) * 0.75 : 0.25;
        return {colorChannel(255 * u), colorChannel(51 * u), colorChannel(51 * u)};
    }
    const double g = max > min ? double(d - min) * (255.0 / double(max - min)) : 0.0;
    return {colorChannel(g), colorChannel(g), colorChannel(g)};
}

ParallaxLimits computeParallaxLimits(int imageWidth, int minDisparity, int maxDisparity, double parallaxNear,
                                     double parallaxScreen, double parallaxFar)
{
    const int16_t nearPx = truncateTo16Bits(parallaxNear * 0.01 * imageWidth);
    const int16_t farPx = truncateTo16Bits(parallaxFar * 0.01 * imageWidth);
    const int16_t screenPx = truncateTo16Bits(0.01 * parallaxScreen * imageWidth);

    ParallaxLimits limits;
    limits.nearDisparity = -nearPx;
    limits.farDisparity = -farPx;
    // The screen band is at least one pixel on each side of the screen
    // disparity, widened to 2 % of the searched range when that is larger.
    const double t = 0.02 * (maxDisparity - minDisparity);
    if (t > 1) {
        limits.screenDisparityLow = static_cast<int>(-screenPx - t);
        limits.screenDisparityHigh = static_cast<int>(-screenPx + t);
    } else {
        limits.screenDisparityLow = -screenPx - 1;
        limits.screenDisparityHigh = -screenPx + 1;
    }
    return limits;
}

cv::Ptr<cv::StereoSGBM> createDisparityMatcher(int minDisparity, int maxDisparity, int blockSize)
{
    const int64_t numDisparities = int64_t(maxDisparity) - minDisparity;
    if (numDisparities <= 0 || numDisparities % 16 != 0)
        CV_Error(cv::Error::StsOutOfRange, "createDisparityMatcher - the maximum disparity must exceed the "
                                           "minimum by a positive multiple of 16");
    // The raw map holds sixteenths of a pixel in 16 bits, including the value
    // below the minimum that marks an unmatched pixel.
    if (minDisparity < -2047 || maxDisparity > 2048)
        CV_Error(cv::Error::StsOutOfRange,
                 "createDisparityMatcher - the searched disparities must lie within -2047..2048");
    // Odd so the block has a centre; at most 31 so that P2 = 32 x 31 x 31 still
    // fits the matcher's 16-bit path costs.
    if (blockSize < 1 || blockSize > 31 || blockSize % 2 == 0)
        CV_Error(cv::Error::StsOutOfRange, "createDisparityMatcher - the block size must be an odd number "
                                           "from 1 to 31");

    return cv::StereoSGBM::create(minDisparity, int(numDisparities), blockSize, 8 * blockSize * blockSize,
                                  32 * blockSize * blockSize, 0, 31, 1, 0, 0, cv::StereoSGBM::MODE_SGBM);
}

cv::Mat computeDisparityMap(const cv::Mat& left, const cv::Mat& right, int minDisparity, int maxDisparity,
                            int blockSize)
{
    if (left.size() != right.size())
        CV_Error(cv::Error::StsUnmatchedSizes,
                 "computeDisparityMap - the left and right images differ in size");
    if (left.type() != right.type())
        CV_Error(cv::Error::StsUnmatchedFormats,
                 "computeDisparityMap - the left and right images differ in type");
    if (left.empty())
        CV_Error(cv::Error::StsBadArg, "computeDisparityMap - the images are empty");
    if (left.type() != CV_8UC3)
        CV_Error(cv::Error::StsUnsupportedFormat,
                 "computeDisparityMap - the images must be 8-bit with three channels (blue, green, red)");
    // Checked before the matcher runs: it aborts the process on some settings.
    cv::Ptr<cv::StereoSGBM> matcher = createDisparityMatcher(minDisparity, maxDisparity, blockSize);

    // Red-green-blue weights on blue-green-red frames, on purpose: maps stay
    // comparable with every analysis this tool has made.
    cv::Mat greyLeft, greyRight;
    cv::cvtColor(left, greyLeft, cv::COLOR_RGB2GRAY);
    cv::cvtColor(right, greyRight, cv::COLOR_RGB2GRAY);

    cv::Mat raw;
    matcher->compute(greyLeft, greyRight, raw);
    return raw;
}

cv::Mat disparityToGray(const cv::Mat& raw)
{
    cv::Mat gray(raw.size(), CV_8UC1);
    cv::normalize(raw, gray, 0, 255, cv::NORM_MINMAX, CV_8U);
    return gray;
}

cv::Mat colorizeDisparity(const cv::Mat& raw, int minDisparity, int maxDisparity, int farDisparity,
                          int screenDisparityLow, int screenDisparityHigh, int nearDisparity)
{
    requireRawMap(raw, "colorizeDisparity");
    const ParallaxLimits limits{farDisparity, screenDisparityLow, screenDisparityHigh, nearDisparity};

    // A map has millions of pixels but at most 65536 codes: colour each code once.
    constexpr int lowestCode = std::numeric_limits<int16_t>::min();
    constexpr int highestCode = std::numeric_limits<int16_t>::max();
    std::vector<cv::Vec3b> colorOfCode(highestCode - lowestCode + 1);
    for (int code = lowestCode; code <= highestCode; ++code) {
        const DisparityColor color =
            disparityColor(code, rawUnitsPerPixel, minDisparity, maxDisparity, limits);
        colorOfCode[code - lowestCode] = cv::Vec3b(color.blue, color.green, color.red);
    }
    const cv::Vec3b* colorOf = colorOfCode.data() - lowestCode;

    cv::Mat colored(raw.size(), CV_8UC3);
    for (int y = 0; y < raw.rows; ++y) {
        const int16_t* in = raw.ptr<int16_t>(y);
        cv::Vec3b* out = colored.ptr<cv::Vec3b>(y);
        for (int x = 0; x < raw.cols; ++x)
            out[x] = colorOf[in[x]];
    }
    return colored;
}

std::vector<double> disparityHistogram(const cv::Mat& raw, int16_t minDisparity, int16_t maxDisparity)
{
    requireRawMap(raw, "disparityHistogram");
    if (maxDisparity < minDisparity)
        CV_Error(cv::Error::StsOutOfRange, "disparityHistogram - the maximum disparity is below the minimum");

    const int bins = maxDisparity - minDisparity + 1;
    const int lowestMatched = minDisparity * rawUnitsPerPixel;
    // One extra bin collects the unmatched pixels and is left out of the result.
    std::vector<uint64_t> counts(bins + 1, 0);
    for (int y = 0; y < raw.rows; ++y) {
        const int16_t* in = raw.ptr<int16_t>(y);
        for (int x = 0; x < raw.cols; ++x) {
            const int m = in[x];
            // Integer division truncates toward zero: -17 is bin -1, -15 bin 0.
            const int bin =
                m < lowestMatched ? bins : std::min(m / rawUnitsPerPixel, int(maxDisparity)) - minDisparity;
            ++counts[bin];
        }
    }

    const uint64_t largest = *std::max_element(counts.begin(), counts.end() - 1);
    std::vector<double> histogram(bins, 0.0);
    if (largest > 0)
        for (int i = 0; i < bins; ++i)
            histogram[i] = double(counts[i]) / double(largest);
    return histogram;
}
