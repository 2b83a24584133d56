#include "common/boardscene.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

cv::Matx33d rotation(double rollDeg, double yawDeg, double pitchDeg)
{
    const double r = rollDeg * CV_PI / 180, y = yawDeg * CV_PI / 180, p = pitchDeg * CV_PI / 180;
    const cv::Matx33d rz(std::cos(r), -std::sin(r), 0, std::sin(r), std::cos(r), 0, 0, 0, 1);
    const cv::Matx33d ry(std::cos(y), 0, std::sin(y), 0, 1, 0, -std::sin(y), 0, std::cos(y));
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(p), -std::sin(p), 0, std::sin(p), std::cos(p));
    return rz * ry * rx;
}

cv::Mat finish(cv::Mat grey, const SceneLook& look)
{
    if (look.blurSigma > 0)
        cv::GaussianBlur(grey, grey, cv::Size(), look.blurSigma);
    if (look.noiseSigma > 0) {
        cv::Mat noise(grey.size(), CV_32F);
        cv::RNG rng(look.seed);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, look.noiseSigma);
        cv::Mat withNoise;
        grey.convertTo(withNoise, CV_32F);
        withNoise += noise;
        withNoise.convertTo(grey, CV_8U);
    }
    if (look.channels == 3)
        cv::cvtColor(grey, grey, cv::COLOR_GRAY2BGR);
    return grey;
}

cv::Mat background(cv::Size size)
{
    // A dim room: a slow diagonal gradient of mid greys.
    cv::Mat grey(size, CV_8U);
    for (int y = 0; y < size.height; ++y) {
        uchar* row = grey.ptr<uchar>(y);
        for (int x = 0; x < size.width; ++x)
            row[x] = cv::saturate_cast<uchar>(90 + 50.0 * x / size.width + 30.0 * y / size.height);
    }
    return grey;
}

} // namespace

cv::Matx33d boardToImage(const CalibrationBoard& board, cv::Size pictureSize, const BoardPose& pose)
{
    const double focal = 1.2 * pictureSize.width;
    const cv::Size2d card = board.size();
    const double distance = focal * card.height / (pose.heightFraction * pictureSize.height);
    const cv::Matx33d camera(focal, 0, pose.centre.x * pictureSize.width, 0, focal,
                             pose.centre.y * pictureSize.height, 0, 0, 1);
    const cv::Matx33d r = rotation(pose.roll, pose.yaw, pose.pitch);
    // Board point (u, v) -> R * (u - w/2, v - h/2, 0) + (0, 0, distance).
    const cv::Matx33d plane(r(0, 0), r(0, 1), 0, r(1, 0), r(1, 1), 0, r(2, 0), r(2, 1), distance);
    const cv::Matx33d centred(1, 0, -card.width / 2, 0, 1, -card.height / 2, 0, 0, 1);
    return camera * plane * centred;
}

cv::Mat renderBoardScene(const CalibrationBoard& board, cv::Size pictureSize, const BoardPose& pose,
                         const SceneLook& look)
{
    cv::Mat grey = background(pictureSize);
    board.render(grey, boardToImage(board, pictureSize, pose), look.paper, look.ink);
    return finish(grey, look);
}

cv::Mat renderEmptyScene(cv::Size pictureSize, const SceneLook& look)
{
    return finish(background(pictureSize), look);
}

std::vector<std::array<cv::Point2d, 4>> expectedRectangles(const CalibrationBoard& board,
                                                           const cv::Matx33d& boardToImage)
{
    std::vector<std::array<cv::Point2d, 4>> result;
    for (const std::array<cv::Point2d, 4>& rectangle : board.rectangleCorners()) {
        std::array<cv::Point2d, 4> projected;
        for (int i = 0; i < 4; ++i) {
            const cv::Vec3d h = boardToImage * cv::Vec3d(rectangle[i].x, rectangle[i].y, 1.0);
            projected[i] = cv::Point2d(h[0] / h[2], h[1] / h[2]);
        }
        result.push_back(projected);
    }
    return result;
}
