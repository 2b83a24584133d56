#include "scene/scenefit.h"

#include <algorithm>
#include <cmath>

// Why the model is what it is.
//
// The left camera is the reference. An ideal right camera, parallel to it and
// beside it, sees every point on the same row as the left one and moved only
// sideways, by the point's parallax (which depends on its depth, unknown).
// The real right camera is that ideal one rolled by r, zoomed by s and moved
// by (tx, ty), about the picture's centre (the board readout's similarity):
//
//     right = s * R(r) * ideal + (tx, ty),  ideal = (left x + parallax, left y)
//
// Undoing the similarity, the ideal point's y is the left y:
//
//     (-sin r * (right x - tx) + cos r * (right y - ty)) / s = left y
//     right y = tan r * right x + (s / cos r) * left y + ty - tan r * tx
//
// exact whatever the parallax, because the right x carries it. So the
// vertical difference right y - left y is linear in the right x and the left
// y; its slope across the picture is tan r and its slope down is s / cos r - 1.
// The constant is the vertical offset ty, less tan r * tx: tx (the
// convergence) is not known from the scene, and with a roll of 0.5 deg a
// horizontal offset of 10 px moves the vertical reading by 0.09 px.
//
// Two keystones are added, each a camera turned about an axis through its own
// centre by a small angle a with focal length f (pixels):
//   - toe-in, turned about the vertical axis: a point's y is scaled by
//     1 + x * a / f, so the vertical difference grows as x * y, opposite at
//     the top and bottom of the left and right edges. Either camera turned
//     in towards the other gives the same sign (positive).
//   - tilt, turned about the horizontal axis: y moves by f * a + y^2 * a / f,
//     the first part an offset, the second even in y: the same at the top and
//     bottom edges. The right camera tilted up gives positive.
// Horizontal differences, where both keystones also show, carry the parallax
// and are not used. Moving objects and mismatches are outliers of the fit.

namespace {

constexpr int kMinimalSample = 5;
constexpr int kMaxSamples = 1000;
constexpr double kConfidence = 0.999;

// The model's five terms at one match.
std::array<double, kMinimalSample> terms(const cv::Point2d& left, const cv::Point2d& right,
                                         cv::Size2d fullSize)
{
    const double u = (right.x - fullSize.width / 2.0) / (fullSize.width / 2.0);
    const double w = (left.y - fullSize.height / 2.0) / (fullSize.height / 2.0);
    return {1.0, u, w, u * w, w * w};
}

VerticalModel fromCoefficients(const cv::Mat& c)
{
    return {c.at<double>(0), c.at<double>(1), c.at<double>(2), c.at<double>(3), c.at<double>(4)};
}

// Least squares over the listed matches; none when they do not determine the
// five terms (all on one line, all at one height...).
std::optional<VerticalModel> solve(const std::vector<cv::Point2d>& left,
                                   const std::vector<cv::Point2d>& right, cv::Size2d fullSize,
                                   const std::vector<int>& chosen)
{
    if (chosen.size() < static_cast<size_t>(kMinimalSample))
        return std::nullopt;
    cv::Mat a(static_cast<int>(chosen.size()), kMinimalSample, CV_64F);
    cv::Mat b(static_cast<int>(chosen.size()), 1, CV_64F);
    for (size_t row = 0; row < chosen.size(); ++row) {
        const size_t k = static_cast<size_t>(chosen[row]);
        const auto t = terms(left[k], right[k], fullSize);
        for (int col = 0; col < kMinimalSample; ++col)
            a.at<double>(static_cast<int>(row), col) = t[static_cast<size_t>(col)];
        b.at<double>(static_cast<int>(row)) = right[k].y - left[k].y;
    }
    // The singular values tell a sample that pins the terms down from one
    // that leaves a direction free (the terms are of order 1 by construction).
    cv::Mat w, u, vt;
    cv::SVD::compute(a, w, u, vt);
    double smallest = 0;
    double largest = 0;
    cv::minMaxLoc(w, &smallest, &largest);
    if (!(smallest > 1e-3 * largest))
        return std::nullopt;
    cv::Mat c;
    cv::SVD::backSubst(w, u, vt, b, c);
    return fromCoefficients(c);
}

} // namespace

double VerticalModel::at(const cv::Point2d& left, const cv::Point2d& right, cv::Size2d fullSize) const
{
    const auto t = terms(left, right, fullSize);
    return offset * t[0] + across * t[1] + down * t[2] + toeIn * t[3] + tilt * t[4];
}

std::optional<VerticalFit> fitVerticalModel(const std::vector<cv::Point2d>& left,
                                            const std::vector<cv::Point2d>& right, cv::Size2d fullSize,
                                            double threshold)
{
    const int count = static_cast<int>(left.size());
    if (count < kMinimalSample || right.size() != left.size())
        return std::nullopt;
    const double limit = threshold * threshold;
    auto cost = [&](const VerticalModel& model) {
        double sum = 0;
        for (int k = 0; k < count; ++k) {
            const double r = right[k].y - left[k].y - model.at(left[k], right[k], fullSize);
            sum += std::min(r * r, limit);
        }
        return sum;
    };
    auto within = [&](const VerticalModel& model) {
        std::vector<int> chosen;
        for (int k = 0; k < count; ++k)
            if (std::fabs(right[k].y - left[k].y - model.at(left[k], right[k], fullSize)) <= threshold)
                chosen.push_back(k);
        return chosen;
    };

    cv::RNG rng(0x5ce7e);
    std::optional<VerticalModel> best;
    double bestCost = 0;
    int samples = kMaxSamples;
    for (int i = 0; i < samples; ++i) {
        std::vector<int> sample;
        while (sample.size() < static_cast<size_t>(kMinimalSample)) {
            const int k = rng.uniform(0, count);
            if (std::find(sample.begin(), sample.end(), k) == sample.end())
                sample.push_back(k);
        }
        const std::optional<VerticalModel> model = solve(left, right, fullSize, sample);
        if (!model)
            continue;
        const double c = cost(*model);
        if (best && c >= bestCost)
            continue;
        best = model;
        bestCost = c;
        // Enough samples that one of them is all inliers with kConfidence,
        // for the share of inliers this model has.
        const double share = static_cast<double>(within(*model).size()) / count;
        const double allInliers = std::pow(share, kMinimalSample);
        if (allInliers >= 1.0)
            break;
        if (allInliers > 0) {
            const double needed = std::log(1.0 - kConfidence) / std::log(1.0 - allInliers);
            // Compared as a real number: a poor model's count overflows an int.
            if (needed < samples)
                samples = static_cast<int>(std::ceil(needed));
        }
    }
    if (!best)
        return std::nullopt;

    // Refined on its inliers; a few rounds, as the refined model may take in
    // or let go of matches at the threshold.
    std::vector<int> chosen = within(*best);
    for (int round = 0; round < 5; ++round) {
        const std::optional<VerticalModel> refined = solve(left, right, fullSize, chosen);
        if (!refined)
            break;
        best = refined;
        std::vector<int> next = within(*best);
        if (next == chosen)
            break;
        chosen = std::move(next);
    }

    VerticalFit fit;
    fit.model = *best;
    fit.inliers = within(fit.model);
    fit.residuals.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        fit.residuals.push_back(right[k].y - left[k].y - fit.model.at(left[k], right[k], fullSize));
    return fit;
}
