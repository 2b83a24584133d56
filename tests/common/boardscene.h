#pragma once

// Pictures of the calibration board at a known pose, with the true positions
// of its rectangle corners, for tests of the detector and of what uses it.

#include "board/calibrationboard.h"

#include <array>
#include <opencv2/core.hpp>
#include <vector>

struct BoardPose
{
    double heightFraction = 0.4;  // card height over picture height, seen head-on
    cv::Point2d centre{0.5, 0.5}; // card centre, fractions of the picture size
    double roll = 0.0;            // degrees, clockwise on screen
    double yaw = 0.0;             // degrees about the vertical axis (perspective)
    double pitch = 0.0;           // degrees about the horizontal axis (perspective)
};

struct SceneLook
{
    int channels = 3;
    double blurSigma = 0.0;  // optical blur, pixels
    double noiseSigma = 0.0; // Gaussian sensor noise, grey levels
    double paper = 220.0;    // lit card
    double ink = 35.0;       // lit squares
    unsigned seed = 1;       // of the noise
};

// Homography from board millimetres to pixels of a pinhole camera (focal
// length 1.2 picture widths) that sees the board at the pose.
cv::Matx33d boardToImage(const CalibrationBoard& board, cv::Size pictureSize, const BoardPose& pose);

// The picture: a smooth grey gradient behind the card, the card, blur, noise.
cv::Mat renderBoardScene(const CalibrationBoard& board, cv::Size pictureSize, const BoardPose& pose,
                         const SceneLook& look = SceneLook());

// Background like the one behind the board, with no board, same blur and noise.
cv::Mat renderEmptyScene(cv::Size pictureSize, const SceneLook& look = SceneLook());

// True corners of the board's rectangles in the picture, outermost first.
std::vector<std::array<cv::Point2d, 4>> expectedRectangles(const CalibrationBoard& board,
                                                           const cv::Matx33d& boardToImage);
