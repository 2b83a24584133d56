#pragma once

// The stages of the board detector, each on its own so that it can be
// checked with exact input: quads found in a binary picture, quads linked at
// touching corners, contact points of linked pairs, and the nested
// rectangles peeled off the contact points.

#include "calibration/detectedrectangle.h"

#include <array>
#include <opencv2/core.hpp>
#include <vector>

// One dark-square candidate of one binarisation.
struct BoardQuad
{
    int neighborCount = 0;
    int groupIndex = -1;
    float minEdgeLength = 0.0f;
    std::array<cv::Point, 4> corners;
    // Index in the quad list of the quad linked at corner i, or -1.
    std::array<int, 4> neighbors{{-1, -1, -1, -1}};
};

// Contour areas a dark square must lie strictly between, for a picture of this size.
struct QuadAreaLimits
{
    float minArea;
    float maxArea;
};
QuadAreaLimits quadAreaLimits(cv::Size imageSize);

// Block size of the adaptive threshold of pass 0, 1 or 2.
int thresholdBlockSize(cv::Size imageSize, int pass);

// The four-cornered contours of `binary` whose area lies within the limits,
// in the order the contour search returns them (dark squares are the holes of
// the white region).
std::vector<BoardQuad> findQuads(const cv::Mat& binary, const QuadAreaLimits& limits);

// Builds a quad from four contour points, or returns false if they do not form
// a plausible square.
bool makeQuad(const std::vector<cv::Point>& approxContour, BoardQuad& quad);

// Links free corners of different quads that touch: at most 5 * dilation pixels apart.
void linkQuads(std::vector<BoardQuad>& quads, int dilation);

// Groups linked quads; every group of exactly two quads of about equal size
// gives the point where they touch. Sets the group indices.
void collectContactPoints(std::vector<BoardQuad>& quads, std::vector<cv::Point>& contactPoints);

// Peels nested rectangles off the contact points by repeated convex hulls,
// outermost first, until no nearly right-angled outline remains.
std::vector<DetectedRectangle> peelRectangles(const std::vector<cv::Point>& contactPoints);
