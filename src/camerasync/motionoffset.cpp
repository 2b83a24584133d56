#include "camerasync/motionoffset.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

// The small picture the change is read from, and the grid of cells over it.
// Each cell is an eighth of the width: parallax and a small misalignment
// shift a little of what a cell holds into its neighbour, not all of it.
constexpr int kSmallWidth = 64;
constexpr int kCellsAcross = 8;
constexpr int kCellsDown = 6;
// Below this spread over time (grey levels of a cell's mean change) a cell
// holds nothing that moves: compression flicker and sensor noise stay well
// under it once a cell averages a few thousand pixels.
constexpr double kStillSpread = 0.25;

cv::Mat smallGrey(const cv::Mat& image)
{
    cv::Mat grey;
    if (image.channels() == 3)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    else if (image.channels() == 4)
        cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = image;
    const int height = std::max(kCellsDown, int(std::lround(double(kSmallWidth) * grey.rows / grey.cols)));
    cv::Mat small;
    cv::resize(grey, small, cv::Size(kSmallWidth, height), 0, 0, cv::INTER_AREA);
    small.convertTo(small, CV_32F);
    return small;
}

// The signed change of each cell's mean brightness from `previous` to
// `current`: a textured object moving through a cell makes it flicker up and
// down, which pins the series down in time far better than the amount of
// change, which rises and falls slowly.
std::vector<float> cellChange(const cv::Mat& previous, const cv::Mat& current)
{
    std::vector<float> change;
    change.reserve(kCellsAcross * kCellsDown);
    for (int row = 0; row < kCellsDown; ++row)
        for (int column = 0; column < kCellsAcross; ++column) {
            const cv::Rect cell(column * current.cols / kCellsAcross, row * current.rows / kCellsDown,
                                current.cols / kCellsAcross, current.rows / kCellsDown);
            change.push_back(float(cv::mean(current(cell))[0] - cv::mean(previous(cell))[0]));
        }
    return change;
}

// Spread over time of each cell's change.
std::vector<double> cellSpread(const std::deque<std::vector<float>>& series)
{
    const size_t cells = series.front().size();
    std::vector<double> spread(cells, 0.0);
    for (size_t c = 0; c < cells; ++c) {
        double sum = 0, squares = 0;
        for (const std::vector<float>& frame : series) {
            sum += frame[c];
            squares += double(frame[c]) * frame[c];
        }
        const double mean = sum / series.size();
        spread[c] = std::sqrt(std::max(0.0, squares / series.size() - mean * mean));
    }
    return spread;
}

// Correlation of left frame t with right frame t + shift, pooled over the
// cells where something moves, each cell's mean over the overlap taken off.
double correlationAt(const std::deque<std::vector<float>>& left, const std::deque<std::vector<float>>& right,
                     const std::vector<bool>& moving, int shift)
{
    const int n = int(left.size());
    const int first = std::max(0, -shift);
    const int last = std::min(n, n - shift); // exclusive
    const int count = last - first;
    double products = 0, leftSquares = 0, rightSquares = 0;
    for (size_t c = 0; c < moving.size(); ++c) {
        if (!moving[c])
            continue;
        double leftMean = 0, rightMean = 0;
        for (int t = first; t < last; ++t) {
            leftMean += left[t][c];
            rightMean += right[t + shift][c];
        }
        leftMean /= count;
        rightMean /= count;
        for (int t = first; t < last; ++t) {
            const double a = left[t][c] - leftMean;
            const double b = right[t + shift][c] - rightMean;
            products += a * b;
            leftSquares += a * a;
            rightSquares += b * b;
        }
    }
    const double norm = std::sqrt(leftSquares * rightSquares);
    return norm > 0 ? products / norm : 0.0;
}

} // namespace

QString motionOffsetText(const MotionOffset& offset, double framesPerSecond)
{
    switch (offset.status) {
    case MotionOffset::Status::TooFewFrames:
        return QStringLiteral("unknown: too few frames yet");
    case MotionOffset::Status::StillScene:
        return QStringLiteral("unknown: the scene is still");
    case MotionOffset::Status::Measured:
        break;
    }
    if (offset.frames == 0)
        return QStringLiteral("in step");
    const int frames = std::abs(offset.frames);
    QString text = QStringLiteral("%1 %2 %3 late")
                       .arg(offset.frames > 0 ? QStringLiteral("right") : QStringLiteral("left"))
                       .arg(frames)
                       .arg(frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"));
    if (framesPerSecond > 0)
        text += QStringLiteral(" (%1 ms)").arg(std::lround(1000.0 * frames / framesPerSecond));
    return text;
}

MotionOffsetEstimator::MotionOffsetEstimator(int windowFrames, int maxOffset)
    : windowFrames(std::max(windowFrames, 4 * maxOffset + 10)), maxOffset(std::max(maxOffset, 1))
{}

void MotionOffsetEstimator::addFrames(const cv::Mat& left, const cv::Mat& right)
{
    if (left.empty() || right.empty())
        return;
    const cv::Mat smallLeft = smallGrey(left);
    const cv::Mat smallRight = smallGrey(right);
    if (left.size() != leftSize || right.size() != rightSize) {
        clear();
        leftSize = left.size();
        rightSize = right.size();
    } else {
        leftChange.push_back(cellChange(previousLeft, smallLeft));
        rightChange.push_back(cellChange(previousRight, smallRight));
        if (int(leftChange.size()) > windowFrames) {
            leftChange.pop_front();
            rightChange.pop_front();
        }
    }
    previousLeft = smallLeft;
    previousRight = smallRight;
}

MotionOffset MotionOffsetEstimator::estimate() const
{
    MotionOffset offset;
    // Enough frames that even the largest shift leaves most of them compared.
    if (int(leftChange.size()) < 4 * maxOffset + 10)
        return offset;
    const std::vector<double> leftSpread = cellSpread(leftChange);
    const std::vector<double> rightSpread = cellSpread(rightChange);
    std::vector<bool> moving(leftSpread.size());
    bool leftMoves = false, rightMoves = false;
    for (size_t c = 0; c < moving.size(); ++c) {
        leftMoves = leftMoves || leftSpread[c] > kStillSpread;
        rightMoves = rightMoves || rightSpread[c] > kStillSpread;
        moving[c] = leftSpread[c] > kStillSpread || rightSpread[c] > kStillSpread;
    }
    if (!leftMoves || !rightMoves) {
        offset.status = MotionOffset::Status::StillScene;
        return offset;
    }

    double best = -2, second = -2;
    for (int shift = -maxOffset; shift <= maxOffset; ++shift) {
        const double r = correlationAt(leftChange, rightChange, moving, shift);
        if (r > best) {
            second = best;
            best = r;
            offset.frames = shift;
        } else if (r > second) {
            second = r;
        }
    }
    offset.status = MotionOffset::Status::Measured;
    offset.correlation = best;
    // How far the best stands above the runner-up, against the room left
    // above the runner-up: a clear peak reads near 1, two equal ones 0.
    offset.confidence = best > 0 && second < 1 ? std::clamp((best - second) / (1.0 - second), 0.0, 1.0) : 0.0;
    return offset;
}

void MotionOffsetEstimator::clear()
{
    leftSize = rightSize = cv::Size();
    leftChange.clear();
    rightChange.clear();
}
