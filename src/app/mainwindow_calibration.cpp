// The calibration tab: left and right detections paired by time label, the
// processed views, the stereo output image and the four accuracy indicators.

#include "app/mainwindow.h"
#include "app/statepalette.h"
#include "pipeline/logcategories.h"

#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMutexLocker>
#include <QPalette>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <utility>

namespace {

enum class StereoOutput
{
    None,
    Sum,
    Difference,
    Anaglyph
};

// Both pictures blended, left minus right (saturated at 0), or a red/cyan
// anaglyph with the left view in red. Empty unless both pictures have the
// same size and type, the anaglyph also needing three channels.
cv::Mat stereoOutputImage(const cv::Mat& left, const cv::Mat& right, StereoOutput mode)
{
    cv::Mat output;
    if (left.empty() || left.dims != right.dims || left.size != right.size || left.type() != right.type())
        return output;
    switch (mode) {
    case StereoOutput::Sum:
        cv::addWeighted(left, 0.5, right, 0.5, 0.0, output);
        break;
    case StereoOutput::Difference:
        cv::subtract(left, right, output);
        break;
    case StereoOutput::Anaglyph: {
        if (left.channels() != 3)
            break;
        std::vector<cv::Mat> leftChannels;
        std::vector<cv::Mat> rightChannels;
        cv::split(left, leftChannels);
        cv::split(right, rightChannels);
        cv::merge(std::vector<cv::Mat>{rightChannels[0], rightChannels[1], leftChannels[2]}, output);
        break;
    }
    case StereoOutput::None:
        break;
    }
    return output;
}

void showIndicator(QLabel* text, QSlider* slider, double average, const QString& shown,
                   IndicatorLimits limits)
{
    // Truncated toward zero; kept within the slider before the conversion, so
    // that an absurd average cannot overflow the integer.
    const double position =
        std::clamp(std::trunc(average), double(slider->minimum()), double(slider->maximum()));
    slider->setValue(static_cast<int>(position));
    text->setText(shown);
    text->setPalette(statePalette(indicatorState(average, limits)));
}

const QString kBoardHint = QStringLiteral(
    "Hold the board square to the cameras, filling a third to three quarters of the picture height.");

// The line under the indicators: why the two sides cannot be compared and
// what to do about it.
QString problemText(ComparisonProblem problem, const cv::Mat& left, const cv::Mat& right,
                    const DetectedRectangles& leftRectangles, const DetectedRectangles& rightRectangles)
{
    switch (problem) {
    case ComparisonProblem::None:
        break;
    case ComparisonProblem::NoSignalLeft:
        return QStringLiteral(
            "No signal on the left input: check the left camera, its cable and its display mode.");
    case ComparisonProblem::NoSignalRight:
        return QStringLiteral(
            "No signal on the right input: check the right camera, its cable and its display mode.");
    case ComparisonProblem::NoSignalBoth:
        return QStringLiteral(
            "No signal on either input: check the cameras, their cables and display modes.");
    case ComparisonProblem::DifferentSizes:
        return QStringLiteral(
                   "The left and right pictures differ in size (%1 × %2 px and %3 × %4 px): capture "
                   "both cameras in the same display mode, turned the same way.")
            .arg(left.cols)
            .arg(left.rows)
            .arg(right.cols)
            .arg(right.rows);
    case ComparisonProblem::BoardMissingLeft:
        return QStringLiteral("Board not found in the left picture. ") + kBoardHint;
    case ComparisonProblem::BoardMissingRight:
        return QStringLiteral("Board not found in the right picture. ") + kBoardHint;
    case ComparisonProblem::BoardMissingBoth:
        return QStringLiteral("Board not found in either picture. ") + kBoardHint;
    case ComparisonProblem::DifferentRectangles:
        return QStringLiteral("The board was not found whole in both pictures (%1 rectangles on the left, %2 "
                              "on the right). ")
                   .arg(leftRectangles.size())
                   .arg(rightRectangles.size()) +
               kBoardHint;
    }
    return QString();
}

} // namespace

void MainWindow::onNewLeftCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                                    std::vector<DetectedRectangle> rectangles)
{
    QMutexLocker lock(&m_mutex);
    qCDebug(lcWindow) << "onNewLeftCalibrationResultsArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    m_leftRawFrame = rawFrame;
    m_leftProcessedFrame = processedFrame;
    m_leftRectangles = std::move(rectangles);
    showCalibrationResultsWhenPaired();
}

void MainWindow::onNewRightCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                                     std::vector<DetectedRectangle> rectangles)
{
    QMutexLocker lock(&m_mutex);
    qCDebug(lcWindow) << "onNewRightCalibrationResultsArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    m_rightRawFrame = rawFrame;
    m_rightProcessedFrame = processedFrame;
    m_rightRectangles = std::move(rectangles);
    showCalibrationResultsWhenPaired();
}

void MainWindow::clearCalibrationResults()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QMutexLocker lock(&m_mutex);
    // The stored raw frames pair the next results: none of them may be paired
    // with a frame of before.
    m_leftRawFrame = VideoFrame();
    m_rightRawFrame = VideoFrame();
    m_leftProcessedFrame = VideoFrame();
    m_rightProcessedFrame = VideoFrame();
    m_leftRectangles.clear();
    m_rightRectangles.clear();
    m_indicatorHistory.clear();
    for (QLabel* view : {m_ui->lbl_ImageProcessedLeft, m_ui->lbl_ImageProcessedRight, m_ui->lbl_ImageResult})
        view->clear();
    for (QLabel* text :
         {m_ui->lbl_zoomTxt, m_ui->lbl_RotationTxt, m_ui->lbl_yOffsetTxt, m_ui->lbl_xOffsetTxt}) {
        text->clear();
        text->setPalette(QPalette());
    }
    for (QSlider* slider :
         {m_ui->slider_ZoomRelation, m_ui->slider_Rotation, m_ui->slider_YOffset, m_ui->slider_XOffset})
        slider->setValue(0);
    m_ui->lbl_IndicatorsProblem->clear();
    clearAlignment();
}

void MainWindow::showCalibrationResultsWhenPaired()
{
    // An input without signal carries no timecode to pair by: it is said at
    // once rather than never.
    const bool noSignal = m_leftRawFrame.noInputSignal || m_rightRawFrame.noInputSignal;
    // Until the other side's result of the same instant arrives, this one waits.
    if (!noSignal && !haveSameTimeLabel(m_leftRawFrame, m_rightRawFrame))
        return;
    showFrame(m_leftProcessedFrame, m_ui->lbl_ImageProcessedLeft);
    showFrame(m_rightProcessedFrame, m_ui->lbl_ImageProcessedRight);
    updateAlignment(updateCalibrationIndicators());
}

bool MainWindow::updateCalibrationIndicators()
{
    StereoOutput mode = StereoOutput::None;
    if (m_ui->rdb_CalibOutputSum->isChecked())
        mode = StereoOutput::Sum;
    else if (m_ui->rdb_CalibOutputDifference->isChecked())
        mode = StereoOutput::Difference;
    else if (m_ui->rdb_CalibOutputAnaglyph->isChecked())
        mode = StereoOutput::Anaglyph;
    cv::Mat output = stereoOutputImage(m_leftRawFrame.image, m_rightRawFrame.image, mode);
    m_sceneReadout->drawOverlay(output);
    showImage(output, m_ui->lbl_ImageResult);

    const ComparedSide left{m_leftRawFrame.noInputSignal, m_leftProcessedFrame.image.cols,
                            m_leftProcessedFrame.image.rows, &m_leftRectangles};
    const ComparedSide right{m_rightRawFrame.noInputSignal, m_rightProcessedFrame.image.cols,
                             m_rightProcessedFrame.image.rows, &m_rightRectangles};
    const ComparisonProblem problem = comparisonProblem(left, right);
    const std::optional<CalibrationMeasurement> measurement =
        problem == ComparisonProblem::None ? measureCalibration(m_leftRectangles, m_rightRectangles)
                                           : std::nullopt;
    m_ui->lbl_IndicatorsProblem->setText(problemText(problem, m_leftProcessedFrame.image,
                                                     m_rightProcessedFrame.image, m_leftRectangles,
                                                     m_rightRectangles));
    if (!measurement) {
        // Without a comparable board on both sides nothing is measured: the
        // sliders and the history stay as they were.
        for (QLabel* text :
             {m_ui->lbl_zoomTxt, m_ui->lbl_RotationTxt, m_ui->lbl_xOffsetTxt, m_ui->lbl_yOffsetTxt}) {
            text->setText(QStringLiteral("UNDEFINED"));
            text->setPalette(statePalette(IndicatorState::Red));
        }
        return false;
    }

    const CalibrationAverages averages = m_indicatorHistory.add(*measurement);
    m_indicatorAverages = averages;
    showIndicator(m_ui->lbl_zoomTxt, m_ui->slider_ZoomRelation, averages.zoom,
                  QString::number(averages.zoom, 'g', 2), kZoomLimits);
    showIndicator(m_ui->lbl_RotationTxt, m_ui->slider_Rotation, averages.rotation,
                  QString::number(averages.rotation, 'g', 5), kRotationLimits);
    showIndicator(m_ui->lbl_yOffsetTxt, m_ui->slider_YOffset, averages.yOffset,
                  QString::number(averages.yOffset), kYOffsetLimits);
    showIndicator(m_ui->lbl_xOffsetTxt, m_ui->slider_XOffset, averages.xOffset,
                  QString::number(averages.xOffset), kXOffsetLimits);
    return true;
}
