#pragma once

// The calibration board that the detector is made for: a white card with
// dark squares in pairs that touch at one corner; the contact points of the
// pairs outline three nested rectangles. Plain OpenCV, so that any part of the
// program (including the virtual cards) can draw it.

#include <array>
#include <opencv2/core.hpp>
#include <vector>

class CalibrationBoard
{
public:
    // The same layout scaled to squares of `squareSize` millimetres.
    explicit CalibrationBoard(double squareSize);
    // The board we print (A3) and detect.
    static CalibrationBoard standard();

    cv::Size2d size() const; // whole card, millimetres
    double squareSize() const { return m_squareSize; }

    // Dark squares, corners in board millimetres (x right, y down from the
    // card's top-left corner), in drawing order.
    std::vector<std::array<cv::Point2d, 4>> squares() const;
    // Where the squares of each pair touch (the middle of the hairline gap).
    std::vector<cv::Point2d> contactPoints() const;

    // Paints the card (white) with its dark squares into an 8-bit 1- or
    // 3-channel image through boardToImage (homography from board millimetres
    // to pixels, pixel centres at whole coordinates), anti-aliased by exact
    // pixel coverage so that sub-pixel positions are true. Pixels outside the
    // card are left as they are.
    void render(cv::Mat& image, const cv::Matx33d& boardToImage, double paper = 255.0,
                double ink = 0.0) const;

    // True corners (board millimetres) of the three nested rectangles outlined
    // by the contact points, outermost first, each in the detector's corner
    // order for an upright board (TL, TR, BR, BL).
    std::vector<std::array<cv::Point2d, 4>> rectangleCorners() const;

private:
    double m_squareSize;
};
