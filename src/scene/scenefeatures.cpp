#include "scene/scenefeatures.h"

#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// Lowe's distance-ratio test: the best match must be clearly better than the
// second best, else the point looks like several others.
constexpr double kRatio = 0.8;

// Points kept per picture: enough for a few hundred matches, few enough for
// the matching to stay quick.
constexpr int kMaxPoints = 1280;
constexpr int kGrid = 8;
// Points a detector may give before they are spread over the grid.
constexpr int kDetectedPoints = 4 * kMaxPoints;

// A descriptor distance a true match usually stays below, per descriptor:
// SIFT's 128 values (length about 512), ORB's 256 bits, AKAZE's 486 bits.
double closeDistance(SceneDetector detector)
{
    switch (detector) {
    case SceneDetector::Orb:
        return 50;
    case SceneDetector::Akaze:
        return 80;
    case SceneDetector::Sift:
        break;
    }
    return 200;
}

cv::Ptr<cv::Feature2D> makeDetector(SceneDetector detector)
{
    switch (detector) {
    case SceneDetector::Orb:
        return cv::ORB::create(kDetectedPoints);
    case SceneDetector::Akaze:
        return cv::AKAZE::create();
    case SceneDetector::Sift:
        break;
    }
    return cv::SIFT::create(kDetectedPoints);
}

int normType(SceneDetector detector)
{
    return detector == SceneDetector::Sift ? cv::NORM_L2 : cv::NORM_HAMMING;
}

} // namespace

cv::Mat workingPicture(const cv::Mat& picture, int workingWidth, double& factor)
{
    cv::Mat grey;
    if (picture.channels() == 3)
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    else if (picture.channels() == 4)
        cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = picture;
    factor = 1.0;
    // Reduced only when that saves a quarter or more; INTER_AREA averages
    // the pixels instead of dropping them.
    if (workingWidth > 0 && grey.cols > workingWidth * 5 / 4) {
        factor = static_cast<double>(workingWidth) / grey.cols;
        cv::Mat reduced;
        cv::resize(grey, reduced, cv::Size(), factor, factor, cv::INTER_AREA);
        // The size actually made, so that positions scale back exactly.
        factor = static_cast<double>(reduced.cols) / grey.cols;
        return reduced;
    }
    return grey;
}

SceneFeatures detectSceneFeatures(const cv::Mat& grey, SceneDetector detector)
{
    SceneFeatures found;
    makeDetector(detector)->detectAndCompute(grey, cv::noArray(), found.keypoints, found.descriptors);
    if (grey.empty() || found.keypoints.empty())
        return found;

    // The strongest points of each cell of a kGrid x kGrid grid, at most
    // kMaxPoints in all: spread over the picture, so that one richly textured
    // object (a moving one, say) cannot take every point and outvote the rest.
    const size_t perCell = kMaxPoints / (kGrid * kGrid);
    std::vector<std::vector<int>> cells(kGrid * kGrid);
    for (size_t i = 0; i < found.keypoints.size(); ++i) {
        const cv::Point2f& p = found.keypoints[i].pt;
        const int column = std::clamp(static_cast<int>(p.x * kGrid / grey.cols), 0, kGrid - 1);
        const int row = std::clamp(static_cast<int>(p.y * kGrid / grey.rows), 0, kGrid - 1);
        cells[static_cast<size_t>(row * kGrid + column)].push_back(static_cast<int>(i));
    }
    SceneFeatures kept;
    kept.descriptors.create(0, found.descriptors.cols, found.descriptors.type());
    for (std::vector<int>& cell : cells) {
        const auto strongest = cell.begin() + static_cast<long>(std::min(perCell, cell.size()));
        std::partial_sort(cell.begin(), strongest, cell.end(), [&](int a, int b) {
            return found.keypoints[static_cast<size_t>(a)].response >
                   found.keypoints[static_cast<size_t>(b)].response;
        });
        for (auto i = cell.begin(); i != strongest; ++i) {
            kept.keypoints.push_back(found.keypoints[static_cast<size_t>(*i)]);
            kept.descriptors.push_back(found.descriptors.row(*i));
        }
    }
    return kept;
}

SceneMatches matchSceneFeatures(const SceneFeatures& left, const SceneFeatures& right, SceneDetector detector)
{
    SceneMatches result;
    if (left.keypoints.size() < 2 || right.keypoints.size() < 2)
        return result;
    cv::BFMatcher matcher(normType(detector));
    std::vector<std::vector<cv::DMatch>> forward;
    std::vector<std::vector<cv::DMatch>> backward;
    matcher.knnMatch(left.descriptors, right.descriptors, forward, 2);
    matcher.knnMatch(right.descriptors, left.descriptors, backward, 1);
    const double close = closeDistance(detector);
    for (const std::vector<cv::DMatch>& candidates : forward) {
        if (candidates.size() < 2)
            continue;
        const cv::DMatch& best = candidates[0];
        if (best.distance >= kRatio * candidates[1].distance) {
            if (best.distance < close)
                ++result.lookAlike;
            continue;
        }
        const std::vector<cv::DMatch>& back = backward[static_cast<size_t>(best.trainIdx)];
        if (back.empty() || back[0].trainIdx != best.queryIdx)
            continue;
        result.left.push_back(left.keypoints[static_cast<size_t>(best.queryIdx)].pt);
        result.right.push_back(right.keypoints[static_cast<size_t>(best.trainIdx)].pt);
    }
    return result;
}
