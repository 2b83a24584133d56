#pragma once

#include "calibration/detectedrectangle.h"

#include <array>
#include <optional>
#include <vector>

// How far the two cameras of the rig differ, measured on the calibration board
// that both see, and the short history that steadies what the crew is shown.
//
// The rectangles of the two sides are paired by position (the detector lists
// them outermost first). Lists that cannot be paired give no measurement at
// all (std::nullopt) rather than a value that could be mistaken for one.

using DetectedRectangles = std::vector<DetectedRectangle>;

// Both lists hold rectangles, as many on each side, and every right rectangle
// has an area to compare with.
bool arePairable(const DetectedRectangles& left, const DetectedRectangles& right);

// Mean over the pairs of the left area divided by the right area.
std::optional<double> meanAreaRatio(const DetectedRectangles& left, const DetectedRectangles& right);
// Mean over the pairs of the left angle minus the right angle, in degrees.
std::optional<double> meanRotationDifference(const DetectedRectangles& left, const DetectedRectangles& right);
// Per pair the sum of the four left corner y values less that of the right
// ones, added up with the total truncated toward zero after each pair, then
// divided by the number of pairs (truncated). A shift of one pixel counts 4.
std::optional<int> verticalOffsetSum(const DetectedRectangles& left, const DetectedRectangles& right);
// The same with the x values.
std::optional<int> horizontalOffsetSum(const DetectedRectangles& left, const DetectedRectangles& right);

// One comparison of the two sides: zoom is 1 - the mean area ratio, so equal
// sizes give 0; rotation in degrees; the offsets in summed corner pixels.
struct CalibrationMeasurement
{
    double zoom = 0;
    double rotation = 0;
    int yOffset = 0;
    int xOffset = 0;
};

std::optional<CalibrationMeasurement> measureCalibration(const DetectedRectangles& left,
                                                         const DetectedRectangles& right);

// What the indicators show: the mean of the last three measurements, the
// offsets rounded to whole numbers (halves away from zero).
struct CalibrationAverages
{
    double zoom = 0;
    double rotation = 0;
    int yOffset = 0;
    int xOffset = 0;
};

// The last three measurements of the four indicators, in rings of three slots
// with one write position for all four. While the rings fill, the averages
// are over the measurements received so far: an empty slot counted as 0 would
// show a third of a real error, in the green.
class IndicatorHistory
{
public:
    // Stores the measurement at the write position, advances it and returns
    // the new averages.
    CalibrationAverages add(const CalibrationMeasurement& measurement);
    int writePosition() const { return position; }
    // Measurements the averages are over now (0 to 3).
    int size() const { return filled; }
    // Forgets every measurement: the next one starts a new history.
    void clear() { *this = IndicatorHistory(); }

private:
    std::array<double, 3> zoom{};
    std::array<double, 3> rotation{};
    std::array<int, 3> yOffset{};
    std::array<int, 3> xOffset{};
    int position = 0;
    int filled = 0;
};

// Why the two sides' latest results cannot be compared, checked in this order.
enum class ComparisonProblem
{
    None,
    NoSignalLeft,
    NoSignalRight,
    NoSignalBoth,
    DifferentSizes, // the pictures differ in size: their pixels do not compare
    BoardMissingLeft,
    BoardMissingRight,
    BoardMissingBoth,
    DifferentRectangles, // both boards found, with different numbers of rectangles
};

struct ComparedSide
{
    bool noSignal = false;
    int width = 0; // of the picture the board was looked for in
    int height = 0;
    const DetectedRectangles* rectangles = nullptr;
};

ComparisonProblem comparisonProblem(const ComparedSide& left, const ComparedSide& right);

enum class IndicatorState
{
    Green,
    Yellow,
    Red
};

// Up to green (inclusive) an indicator is green, up to yellow yellow, else red,
// judged on the magnitude of its average.
struct IndicatorLimits
{
    double green;
    double yellow;
};

inline constexpr IndicatorLimits kZoomLimits{0.01, 0.02};
inline constexpr IndicatorLimits kRotationLimits{0.2, 0.5};
inline constexpr IndicatorLimits kYOffsetLimits{2, 5};
inline constexpr IndicatorLimits kXOffsetLimits{2, 100};

IndicatorState indicatorState(double average, IndicatorLimits limits);
