#pragma once

#include "scene/scenealignment.h"

#include <opencv2/core.hpp>
#include <vector>

// The first two steps of a scene measurement, apart so that they can be
// timed apart: distinctive points with their descriptors, then the matches
// between the two pictures.

struct SceneFeatures
{
    std::vector<cv::KeyPoint> keypoints;
    cv::Mat descriptors;
};

// The picture in grey, reduced by `factor` (at most 1) to about workingWidth.
cv::Mat workingPicture(const cv::Mat& picture, int workingWidth, double& factor);

SceneFeatures detectSceneFeatures(const cv::Mat& grey, SceneDetector detector);

struct SceneMatches
{
    // Positions in the working pictures, left[i] with right[i].
    std::vector<cv::Point2f> left, right;
    // Left points whose best match is as close as a true match usually is but
    // fails the ratio test because another right point is nearly as close:
    // the mark of a pattern that repeats.
    int lookAlike = 0;
};

// Mutual best matches (the right point's best left match is the left point)
// whose best distance is below kRatio times the second best.
SceneMatches matchSceneFeatures(const SceneFeatures& left, const SceneFeatures& right,
                                SceneDetector detector);
