#pragma once

// The depth budget of a shot as stereographers speak of it: the nearest and
// the farthest parallax of the scene in percent of the picture width, their
// difference, and what they become on a target screen.
//
// Parallax is the negative of the matcher's disparity: negative in front of
// the screen, positive behind it. The nearest and farthest parallax are the
// 1st and 99th percentiles of the counted pixels, so a few mismatched pixels do
// not stretch the budget. The budget counts the matched pixels except those
// within a pixel of either end of the searched range: the matcher puts there
// what it cannot place inside the range, so they are mismatches or parts of
// the scene beyond the range, never a measured depth.

#include <QString>
#include <cstdint>
#include <opencv2/core.hpp>

struct DepthBudget
{
    // False when no pixel matched: there is no budget to show.
    bool valid = false;
    int64_t matchedPixels = 0; // every pixel the matcher matched
    int64_t endPixels = 0;     // of those, the ones at the ends of the range, not counted
    int64_t pixels = 0;        // all pixels of the map
    // The scene reaches an end of the searched range: so many pixels lie there
    // that the percentile on that side would be the range's end. The budget on
    // that side then says less than the scene holds.
    bool reachesFarEnd = false;  // the smallest disparity, behind the screen
    bool reachesNearEnd = false; // the largest disparity, in front of the screen
    // Percent of the picture width; negative in front of the screen.
    double nearestPercent = 0;
    double farthestPercent = 0;
    // The width, in pixels, that the pixel figures refer to: the analysed
    // picture's, or the full picture's when the analysis ran on a smaller copy.
    int pictureWidth = 0;
    // The width of the map the percentiles were taken from, in pixels.
    int mapWidth = 0;

    // Full-width pixels per pixel of the map: the map's disparities times this
    // are disparities of the full picture.
    double fullWidthPerMapPixel() const { return mapWidth > 0 ? double(pictureWidth) / mapWidth : 1.0; }
    int64_t countedPixels() const { return matchedPixels - endPixels; }
    bool touchesSearchRange() const { return reachesFarEnd || reachesNearEnd; }
    double totalPercent() const { return farthestPercent - nearestPercent; }
    double nearestPixels() const { return nearestPercent * 0.01 * pictureWidth; }
    double farthestPixels() const { return farthestPercent * 0.01 * pictureWidth; }
    double totalPixels() const { return totalPercent() * 0.01 * pictureWidth; }
};

// Value below which `percent` of the matched disparities of a raw map lie, in
// pixels, interpolated between neighbouring pixels' values. Pixels below
// minDisparity x 16 are unmatched and left out. NaN when nothing matched.
double disparityPercentile(const cv::Mat& raw, int minDisparity, double percent);

// The budget of a raw map (CV_16S, sixteenths of a pixel) searched over
// minDisparity..maxDisparity, its pixel figures referring to the map's own width.
DepthBudget depthBudget(const cv::Mat& raw, int minDisparity, int maxDisparity);

// Which pixels the budget counts, in a crew's words: "1st to 99th percentile
// of the 84.2 % of pixels matched inside the search range (0.3 % at its ends
// left out)".
QString budgetBasis(const DepthBudget& budget);

// What to do when the budget reaches an end of the searched range (disparities
// in full-width pixels); empty when it does not.
QString searchRangeWarning(const DepthBudget& budget, int minDisparity, int maxDisparity);

// A searched range (full-width pixels, multiples of 16) that holds the budget
// with a margin: a side the budget reaches is widened by half the range, as the
// scene goes on beyond it by an unknown amount; a side it does not reach is
// drawn in to the budget. Held within -2047..2048, the matcher's limits.
struct DisparityRange
{
    int minDisparity = 0;
    int maxDisparity = 0;
};

DisparityRange fittedRange(const DepthBudget& budget, int minDisparity, int maxDisparity);

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
