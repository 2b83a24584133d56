#pragma once

#include "calibration/alignmentreadout.h"

#include <QString>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

// The misalignment of the right camera against the left one read from
// whatever both cameras see, without the board: distinctive points are found
// and matched between the two pictures, and a small model of the rig's
// misalignment is fitted to the vertical differences of the matches. The
// horizontal differences carry the depth of the scene (parallax), so they are
// not read; the convergence is the board's to measure.
//
// The readings use the board readout's signs and units (see
// calibration/alignmentreadout.h), so the board and the scene read the same on
// the same rig. The model and each sign are documented where it is fitted, in
// scenealignment.cpp.

struct SceneReading
{
    // Right picture lower than the left: positive. Full-size pixels and
    // percent of the full picture's height.
    double verticalPixels = 0;
    double verticalPercent = 0;
    // Right picture turned clockwise on screen against the left: positive.
    double rollDegrees = 0;
    // Right picture larger than the left: positive, percent of the left size.
    double sizePercent = 0;
    // Toe-in keystone: the vertical difference, in full-size pixels, at the
    // corners of the picture that grows towards the left and right edges.
    // Positive when the right picture's right edge is taller than the left
    // picture's and its left edge shorter: the cameras turned in towards each
    // other (converging) more than a parallel rig.
    double toeInPixels = 0;
    // Tilt keystone: the vertical difference, in full-size pixels, at the top
    // and bottom edges beyond the one at the centre. Positive when both edges
    // of the right picture sit lower: the right camera tilted up against the
    // left one (its picture stretched at the bottom, squeezed at the top).
    double tiltPixels = 0;
};

// One match the fit kept, for the overlay: where it is in each processed
// picture and its vertical difference left unexplained by the fit, in
// full-size pixels (right lower than the fit: positive).
struct SceneMatch
{
    cv::Point2f left;
    cv::Point2f right;
    double residualPixels = 0;
};

// What a measurement rests on.
struct SceneEvidence
{
    int leftPoints = 0; // distinctive points found in each picture
    int rightPoints = 0;
    int matches = 0;           // mutual best matches that passed the distance-ratio test
    int inliers = 0;           // matches the fitted model explains
    int coveredCells = 0;      // cells of a 4 x 4 grid over the left picture holding an inlier
    double residualPixels = 0; // root mean square vertical error of the inliers after the fit, full-size px
};

// Why a measurement gives no reading.
enum class SceneFailure
{
    None,
    NoPictures,        // empty, or the two pictures differ in size
    TooLittleTexture,  // too few distinctive points or matches
    RepetitivePattern, // plenty of points, but they look alike and cannot be told apart
    OneRegion,         // the matches cover too little of the picture
    NoOverlap,         // the matches do not agree on one misalignment
    Disagreement,      // two large groups of matches agree on different misalignments (a large moving object)
};

struct SceneMeasurement
{
    std::optional<SceneReading> reading; // none when failure is not None
    SceneFailure failure = SceneFailure::None;
    QString reason; // for the crew, empty with a reading
    SceneEvidence evidence;
    std::vector<SceneMatch> inliers; // processed-picture coordinates
};

enum class SceneDetector
{
    Orb,
    Akaze,
    Sift,
};

// AKAZE by default: on two 1080p pictures reduced to 960 px it reads as
// closely as SIFT (hundredths of a pixel) in about half SIFT's time; ORB is
// several times quicker but reads a quarter of a pixel off. AKAZE's time
// grows faster than the picture's area (its scale space outgrows the caches):
// at 720 px it takes under half its time at 960 px and still reads within
// hundredths of a pixel, which leaves five measurements a second on one core.
// At 640 px the points of a small detailed area fall below what a reading
// needs. The figures are in bench/bench_scene.cpp's output.
struct SceneOptions
{
    SceneDetector detector = SceneDetector::Akaze;
    // The pictures are reduced to about this width before detection.
    int workingWidth = 720;
};

// Measures the right processed picture against the left one (8-bit, grey or
// BGR, the same size). `scale` relates the processed picture to the camera's
// full picture, as for the board readout.
SceneMeasurement measureScene(const cv::Mat& left, const cv::Mat& right, FullSizeScale scale = {},
                              const SceneOptions& options = {});

// Draws the inlier matches onto a picture of the processed left picture's
// size: a line from each left point to its right point and a dot at the left
// point, coloured by the vertical error after the fit against the vertical
// band of the readout (green within green, yellow within yellow, red beyond),
// full-size pixels as the band's.
void drawSceneMatches(cv::Mat& image, const SceneMeasurement& measurement, const ReadoutBand& verticalBand);
