#pragma once

// The depth budget of a shot as stereographers speak of it: the nearest and
// the farthest parallax of the scene in percent of the picture width, their
// difference, and what they become on a target screen.
//
// Parallax is the negative of the matcher's disparity: negative in front of
// the screen, positive behind it. The nearest and farthest parallax are the
// 1st and 99th percentiles of the matched pixels, so a few mismatched pixels do
// not stretch the budget.

#include <QString>
#include <cstdint>
#include <opencv2/core.hpp>

struct DepthBudget
{
    // False when no pixel matched: there is no budget to show.
    bool valid = false;
    int64_t matchedPixels = 0;
    int64_t pixels = 0; // all pixels of the map
    // Percent of the picture width; negative in front of the screen.
    double nearestPercent = 0;
    double farthestPercent = 0;
    // The width, in pixels, that the pixel figures refer to: the analysed
    // picture's, or the full picture's when the analysis ran on a smaller copy.
    int pictureWidth = 0;
    // The width of the map the percentiles were taken from, in pixels.
    int mapWidth = 0;

    double totalPercent() const { return farthestPercent - nearestPercent; }
    double nearestPixels() const { return nearestPercent * 0.01 * pictureWidth; }
    double farthestPixels() const { return farthestPercent * 0.01 * pictureWidth; }
    double totalPixels() const { return totalPercent() * 0.01 * pictureWidth; }
};

// Value below which `percent` of the matched disparities of a raw map lie, in
// pixels, interpolated between neighbouring pixels' values. Pixels below
// minDisparity x 16 are unmatched and left out. NaN when nothing matched.
double disparityPercentile(const cv::Mat& raw, int minDisparity, double percent);

// The budget of a raw map (CV_16S, sixteenths of a pixel), its pixel figures
// referring to the map's own width.
DepthBudget depthBudget(const cv::Mat& raw, int minDisparity);

// A budget on a screen `screenWidthMetres` wide, in millimetres.
struct ScreenBudget
{
    double nearestMm = 0;
    double farthestMm = 0;
    double totalMm = 0;
    // The eyes of a viewer `eyeSeparationMm` apart would have to turn outward
    // to fuse the farthest parallax.
    bool diverges = false;
};

ScreenBudget screenBudget(const DepthBudget& budget, double screenWidthMetres, double eyeSeparationMm);

// "12 m", "1.4 m": a screen width as the window names it.
QString screenName(double screenWidthMetres);

// "far background diverges on a 12 m screen: 92 mm > 65 mm"; empty when the
// budget does not diverge on that screen.
QString divergenceWarning(const DepthBudget& budget, double screenWidthMetres, double eyeSeparationMm);

// How the live analysis scales a pair: pictures narrowed to at most
// `targetWidth` pixels, and the searched range scaled with them to the nearest
// multiples of 16 that still leave a range of at least 16.
struct LiveScale
{
    double factor = 1; // 1 when the picture is no wider than the target
    int minDisparity = 0;
    int maxDisparity = 0;
};

LiveScale liveScale(int pictureWidth, int minDisparity, int maxDisparity, int targetWidth = 960);
