#pragma once

#include "calibration/calibrationindicators.h"
#include "calibration/detectedrectangle.h"

#include <QString>
#include <array>
#include <optional>
#include <vector>

// The misalignment of the right camera against the left one in units a crew
// can turn a screw by: pixels of the full picture, degrees and percent.
//
// Both sides see the same board. The corners of the paired rectangles (the
// i-th left with the i-th right, as the indicators pair them) are fitted by a
// similarity transform about the picture's centre, which is how a camera's
// picture moves when it is rolled, zoomed, tilted or panned:
//
//     right corner = s * R(roll) * (left corner - centre) + centre + offset
//
// so roll and size are read off the turn and scale of that fit, and the
// offsets are where the picture's centre goes. A 1 % zoom of the right
// camera then reads as 1 % wherever the board stands, instead of also showing
// up as an offset of a board away from the centre.

// How the processed picture relates to the camera's full picture: the number
// of full-size pixels per processed pixel along each axis (2 across for a
// side-by-side signal, 2 down for under/over, 1 for a camera of its own).
struct FullSizeScale
{
    double x = 1.0;
    double y = 1.0;
};

struct AlignmentReading
{
    // Right picture lower than the left: positive. Full-size pixels and
    // percent of the full picture's height.
    double verticalPixels = 0;
    double verticalPercent = 0;
    // Right picture turned clockwise on screen against the left: positive.
    double rollDegrees = 0;
    // Right picture larger than the left: positive, percent of the left size.
    double sizePercent = 0;
    // Right picture further right than the left: positive. Full-size pixels
    // and percent of the full picture's width. Zero when the cameras
    // converge at the board's distance.
    double horizontalPixels = 0;
    double horizontalPercent = 0;
};

// The reading from one pair of detections on a processed picture of
// pictureSize; none when the lists cannot be paired (empty, different
// counts, different corner counts) or the corners do not span an area.
std::optional<AlignmentReading> measureAlignment(const DetectedRectangles& left,
                                                 const DetectedRectangles& right, cv::Size pictureSize,
                                                 FullSizeScale scale = {});

// The last three readings, the same window the indicators average over, kept
// in step with them: one reading per completed indicator update. Slots not yet
// filled since the start or the last clear do not count, so the first reading
// shown is the measured one, not a third of it.
class AlignmentHistory
{
public:
    // Stores the reading and returns the mean of the stored ones.
    AlignmentReading add(const AlignmentReading& reading);
    void clear();
    int count() const { return filled; }

private:
    std::array<AlignmentReading, 3> readings{};
    int position = 0;
    int filled = 0;
};

// The green/yellow/red state of each axis, taken from its indicator so that
// the readout and the indicator never disagree.
struct AlignmentStates
{
    IndicatorState vertical = IndicatorState::Red;
    IndicatorState roll = IndicatorState::Red;
    IndicatorState size = IndicatorState::Red;
    IndicatorState horizontal = IndicatorState::Red;
};

AlignmentStates alignmentStates(const CalibrationAverages& averages);

// The indicators' limits in the readout's units, for the tolerance bands of
// the trend: an interval [low, high] for green and one for yellow.
struct ReadoutBand
{
    double greenLow, greenHigh;
    double yellowLow, yellowHigh;
};

struct ReadoutBands
{
    ReadoutBand vertical, roll, size, horizontal;
};

ReadoutBands readoutBands(FullSizeScale scale);

// The state as a word, so that it reads without colour: "OK", "CLOSE", "ADJUST".
QString stateWord(IndicatorState state);
// The state in the take log: "green", "yellow", "red".
QString stateName(IndicatorState state);

// What each row of the readout says: the reading with its unit, and one line
// of what to do with the right camera.
struct ReadoutTexts
{
    QString vertical, roll, size, horizontal;
    QString verticalAction, rollAction, sizeAction, horizontalAction;
};

ReadoutTexts readoutTexts(const AlignmentReading& reading, const AlignmentStates& states);
