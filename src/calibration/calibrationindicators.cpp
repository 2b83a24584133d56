#include "calibration/calibrationindicators.h"

#include <algorithm>
#include <cmath>

namespace {

// The sum over the four corners of one coordinate (x when useX, else y).
double cornerSum(const DetectedRectangle& rectangle, bool useX)
{
    double sum = 0;
    for (const cv::Point2f& corner : rectangle.corners())
        sum += useX ? corner.x : corner.y;
    return sum;
}

std::optional<int> offsetSum(const DetectedRectangles& left, const DetectedRectangles& right, bool useX)
{
    if (!arePairable(left, right))
        return std::nullopt;
    int total = 0;
    for (size_t i = 0; i < left.size(); ++i)
        total = static_cast<int>(total + (cornerSum(left[i], useX) - cornerSum(right[i], useX)));
    return total / static_cast<int>(left.size());
}

// Slots not filled yet hold 0 and add nothing to the sums.
double meanOf(const std::array<double, 3>& ring, int filled)
{
    return (0.0 + ring[0] + ring[1] + ring[2]) / filled;
}

int roundedMeanOf(const std::array<int, 3>& ring, int filled)
{
    return static_cast<int>(std::lround((double(ring[0]) + ring[1] + ring[2]) / filled));
}

} // namespace

bool arePairable(const DetectedRectangles& left, const DetectedRectangles& right)
{
    if (left.empty() || left.size() != right.size())
        return false;
    // A right rectangle without area would turn the area ratio into infinity.
    for (const DetectedRectangle& rectangle : right)
        if (!(rectangle.area() > 0))
            return false;
    return true;
}

std::optional<double> meanAreaRatio(const DetectedRectangles& left, const DetectedRectangles& right)
{
    if (!arePairable(left, right))
        return std::nullopt;
    double sum = 0;
    for (size_t i = 0; i < left.size(); ++i)
        sum += left[i].area() / right[i].area();
    return sum / double(left.size());
}

std::optional<double> meanRotationDifference(const DetectedRectangles& left, const DetectedRectangles& right)
{
    if (!arePairable(left, right))
        return std::nullopt;
    double sum = 0;
    for (size_t i = 0; i < left.size(); ++i)
        sum += left[i].angle() - right[i].angle();
    return sum / double(left.size());
}

std::optional<int> verticalOffsetSum(const DetectedRectangles& left, const DetectedRectangles& right)
{
    return offsetSum(left, right, false);
}

std::optional<int> horizontalOffsetSum(const DetectedRectangles& left, const DetectedRectangles& right)
{
    return offsetSum(left, right, true);
}

std::optional<CalibrationMeasurement> measureCalibration(const DetectedRectangles& left,
                                                         const DetectedRectangles& right)
{
    if (!arePairable(left, right))
        return std::nullopt;
    CalibrationMeasurement measurement;
    measurement.zoom = 1.0 - *meanAreaRatio(left, right);
    measurement.rotation = *meanRotationDifference(left, right);
    measurement.yOffset = *verticalOffsetSum(left, right);
    measurement.xOffset = *horizontalOffsetSum(left, right);
    return measurement;
}

CalibrationAverages IndicatorHistory::add(const CalibrationMeasurement& measurement)
{
    zoom[position] = measurement.zoom;
    rotation[position] = measurement.rotation;
    yOffset[position] = measurement.yOffset;
    xOffset[position] = measurement.xOffset;
    position = (position + 1) % 3;
    filled = std::min(filled + 1, 3);

    CalibrationAverages averages;
    averages.zoom = meanOf(zoom, filled);
    averages.rotation = meanOf(rotation, filled);
    averages.yOffset = roundedMeanOf(yOffset, filled);
    averages.xOffset = roundedMeanOf(xOffset, filled);
    return averages;
}

ComparisonProblem comparisonProblem(const ComparedSide& left, const ComparedSide& right)
{
    if (left.noSignal || right.noSignal)
        return left.noSignal && right.noSignal ? ComparisonProblem::NoSignalBoth
               : left.noSignal                 ? ComparisonProblem::NoSignalLeft
                                               : ComparisonProblem::NoSignalRight;
    if (left.width != right.width || left.height != right.height)
        return ComparisonProblem::DifferentSizes;
    const bool leftFound = left.rectangles && !left.rectangles->empty();
    const bool rightFound = right.rectangles && !right.rectangles->empty();
    if (!leftFound || !rightFound)
        return !leftFound && !rightFound ? ComparisonProblem::BoardMissingBoth
               : !leftFound              ? ComparisonProblem::BoardMissingLeft
                                         : ComparisonProblem::BoardMissingRight;
    if (!arePairable(*left.rectangles, *right.rectangles))
        return ComparisonProblem::DifferentRectangles;
    return ComparisonProblem::None;
}

IndicatorState indicatorState(double average, IndicatorLimits limits)
{
    const double magnitude = std::fabs(average);
    if (magnitude <= limits.green)
        return IndicatorState::Green;
    if (magnitude <= limits.yellow)
        return IndicatorState::Yellow;
    return IndicatorState::Red;
}
