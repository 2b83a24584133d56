#pragma once

// The time offset between two cameras that are not locked to one clock,
// estimated from what moves in front of them.
//
// Both cameras see the same scene, so the amount of change from one frame to
// the next rises and falls alike in both views: a hand waved, a car passing.
// When one signal arrives late, its rises and falls come the same number of
// frames later. The estimator keeps, for the last few seconds of both views,
// the frame-to-frame change in a coarse grid of cells (coarse, so that the
// parallax between the views and a small misalignment move little from one
// cell into another), and finds the shift of the right series against the left
// one that matches best.

#include <QString>
#include <deque>
#include <opencv2/core.hpp>
#include <vector>

struct MotionOffset
{
    enum class Status
    {
        Measured,
        TooFewFrames, // not yet enough frames in both views
        StillScene,   // nothing moves: there is nothing to compare
    };
    Status status = Status::TooFewFrames;
    // Frames by which the right view comes after the left one (the right
    // camera late: positive; the left camera late: negative).
    int frames = 0;
    // How much better the chosen shift matches than the next best one, 0 to 1:
    // near 0 the shift is a guess, above about 0.3 it is clear.
    double confidence = 0;
    // Correlation of the two views' change at the chosen shift, -1 to 1.
    double correlation = 0;

    bool measured() const { return status == Status::Measured; }
};

// "in step", "right 1 frame late", "left 2 frames late (40 ms)" when the
// frame rate is known (framesPerSecond > 0); "unknown: the scene is still",
// "unknown: too few frames yet".
QString motionOffsetText(const MotionOffset& offset, double framesPerSecond = 0);

class MotionOffsetEstimator
{
public:
    // Keeps the change of the last `windowFrames` frames and tries shifts of
    // up to `maxOffset` frames either way.
    explicit MotionOffsetEstimator(int windowFrames = 150, int maxOffset = 5);

    // The next frame of each view (8-bit grey, BGR or BGRA; both of one
    // instant as far as the sources know). Pictures of another size than the
    // previous ones start the series afresh.
    void addFrames(const cv::Mat& left, const cv::Mat& right);
    // The best shift over the frames kept now.
    MotionOffset estimate() const;
    // Forgets every frame: the next one starts a new series.
    void clear();

    int framesKept() const { return int(leftChange.size()); }

private:
    // Change per cell between a view's previous and current small picture.
    using CellChange = std::vector<float>;

    int windowFrames;
    int maxOffset;
    cv::Size leftSize; // of the pictures the series is made of
    cv::Size rightSize;
    cv::Mat previousLeft;
    cv::Mat previousRight;
    std::deque<CellChange> leftChange;
    std::deque<CellChange> rightChange;
};
