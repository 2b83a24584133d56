#include "framemeasurement.h"

#include "calibration/tesra_board_detector.h"
#include "disparity/tesra_disparity_map.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

std::optional<BoardReadings> boardReadings(const DetectedRectangles& left, const DetectedRectangles& right,
                                           cv::Size pictureSize)
{
    const std::optional<CalibrationMeasurement> indicators = measureCalibration(left, right);
    const std::optional<AlignmentReading> readout = measureAlignment(left, right, pictureSize);
    if (!indicators || !readout)
        return std::nullopt;
    // One measurement, judged as the indicators judge their average.
    IndicatorHistory history;
    return BoardReadings{*indicators, *readout, alignmentStates(history.add(*indicators))};
}

DepthBudget narrowedBudget(const cv::Mat& left, const cv::Mat& right, const MeasureSettings& settings)
{
    const LiveScale scale = liveScale(left.cols, settings.minDisparity, settings.maxDisparity);
    cv::Mat narrowLeft = left, narrowRight = right;
    if (scale.factor < 1) {
        const cv::Size size(int(std::lround(left.cols * scale.factor)),
                            std::max(1, int(std::lround(left.rows * scale.factor))));
        cv::resize(left, narrowLeft, size, 0, 0, cv::INTER_AREA);
        cv::resize(right, narrowRight, size, 0, 0, cv::INTER_AREA);
    }
    const cv::Mat raw = computeDisparityMap(narrowLeft, narrowRight, scale.minDisparity, scale.maxDisparity,
                                            settings.blockSize);
    DepthBudget budget = depthBudget(raw, scale.minDisparity, scale.maxDisparity);
    budget.pictureWidth = left.cols; // the percentages are the same at both sizes
    return budget;
}

} // namespace

FrameMeasurement measureFrame(const cv::Mat& left, const cv::Mat& right, const MeasureSettings& settings)
{
    FrameMeasurement m;
    DetectedRectangles leftBoard, rightBoard;
    m.boardFoundLeft = findTesraBoard(left, leftBoard);
    m.boardFoundRight = findTesraBoard(right, rightBoard);
    if (m.boardFoundLeft && m.boardFoundRight && left.size() == right.size())
        m.board = boardReadings(leftBoard, rightBoard, left.size());
    if (settings.scene)
        m.scene = measureScene(left, right);
    try {
        m.budget = narrowedBudget(left, right, settings);
        m.screen = screenBudget(m.budget, settings.screenWidthMetres, settings.eyeSeparationMm);
    } catch (const cv::Exception& error) {
        m.depthProblem = QString::fromStdString(error.err);
    }
    return m;
}
