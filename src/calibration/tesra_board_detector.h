#pragma once

// The board detector. "Tesra" is the inherited name of the calibration board
// (the printed card of dark squares touching tip to tip whose contact points
// outline three nested rectangles, drawn by board/calibrationboard.h) and of
// this source file, which its errors name. `findTesraBoard` finds that card in
// a picture; `cvCheckChessboard` is this program's own quick pattern check run
// before the full search, not an OpenCV function (the name recalls the check
// that OpenCV's chessboard finder makes first).

#include "calibration/detectedrectangle.h"

#include <opencv2/core.hpp>
#include <vector>

// Quick check whether a grey 8-bit picture can show a pattern of at least 30
// dark squares of about one size: 1 if so, 0 if not. Other input raises an
// OpenCV error (bad number of channels, bad depth).
int cvCheckChessboard(const cv::Mat& grey);

// Finds the calibration board (dark squares touching in pairs whose contact
// points outline three nested rectangles) in an 8-bit picture of 1, 3 or 4
// channels (BGR order). On success `rectangles` holds the three rectangles,
// outermost first, with sub-pixel corners. Other depths or two channels raise
// an OpenCV error (unsupported format). Reentrant: no state between calls.
bool findTesraBoard(const cv::Mat& image, std::vector<DetectedRectangle>& rectangles);
