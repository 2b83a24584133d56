#pragma once

#include <array>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

// The misalignment model fitted to the vertical differences of matched
// points; scenefit.cpp derives it and gives each term's sign.
//
// Points are in full-size pixels. With u the right point's x and w the left
// point's y, both relative to the picture's centre and divided by half the
// picture's width and height (so -1 to 1 from edge to edge):
//
//     right y - left y = offset + across * u + down * w + toeIn * u * w + tilt * w * w
//
// Each coefficient is the vertical difference, in full-size pixels, that its
// term makes at the picture's edge (or corner).
struct VerticalModel
{
    double offset = 0;
    double across = 0;
    double down = 0;
    double toeIn = 0;
    double tilt = 0;

    double at(const cv::Point2d& left, const cv::Point2d& right, cv::Size2d fullSize) const;
};

struct VerticalFit
{
    VerticalModel model;
    std::vector<int> inliers;      // indices into the matches
    std::vector<double> residuals; // of every match: measured less modelled vertical difference
};

// Fits the model robustly: random minimal samples, each scored by its
// truncated squared residuals (MSAC), the best one refined by least squares
// on the matches within `threshold` pixels of it until the set stops
// changing. The samples come from a fixed seed, so the same matches always
// give the same fit. None when fewer than kMinimalSample matches or no sample
// spans the picture.
std::optional<VerticalFit> fitVerticalModel(const std::vector<cv::Point2d>& left,
                                            const std::vector<cv::Point2d>& right, cv::Size2d fullSize,
                                            double threshold);
