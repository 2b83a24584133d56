#pragma once

// The synthetic stereo rig: the calibration board in front of textured
// objects at several depths, seen by a left and a right camera. The cameras
// sit `interaxial` apart and meet at the convergence distance, so nearer
// objects get crossed and farther ones uncrossed disparities; each camera can
// be zoomed, rolled and shifted.

#include "board/calibrationboard.h"
#include "common.h"

#include <mutex>
#include <opencv2/core.hpp>
#include <vector>

namespace virtualcards {

enum class RigCamera
{
    Left,
    Right,
};

class RigScene
{
public:
    explicit RigScene(const RigSettings& rig);

    // What one camera sees as 8-bit BGR of `size`. The camera's picture is
    // `fullSize`; a smaller `size` squeezes it, as a side-by-side or
    // under/over signal carries each view.
    cv::Mat render(RigCamera camera, cv::Size fullSize, cv::Size size) const;

private:
    struct Plane
    {
        cv::Vec3d origin;       // top-left corner, metres
        cv::Vec3d across, down; // unit directions of the texture's x and y
        double width, height;   // metres
        double nearest;         // distance of its nearest point
        cv::Mat texture;
        cv::Size textureSize;
        uint64_t seed;
        int style;
        cv::Scalar colour;
    };

    // From plane coordinates (origin, and a step along each axis in metres) to the picture's pixels.
    cv::Matx33d toImage(const cv::Vec3d& origin, const cv::Vec3d& across, const cv::Vec3d& down,
                        RigCamera camera, cv::Size fullSize, cv::Size size) const;
    void drawBoard(cv::Mat& view, RigCamera camera, cv::Size fullSize) const;
    // The objects and their textures, made on first use.
    void build() const;
    void addPlane(cv::Vec3d origin, cv::Vec3d across, cv::Vec3d down, double width, double height,
                  uint64_t seed, int style, cv::Scalar colour) const;

    RigSettings m_rig;
    CalibrationBoard m_board;
    cv::Vec3d m_boardOrigin; // top-left corner of the card, metres
    double m_boardDistance;
    double m_convergence;
    mutable std::once_flag m_built;
    mutable std::vector<Plane> m_planes; // far to near
};

} // namespace virtualcards
