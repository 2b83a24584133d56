// The calibration tab: left and right detections paired by time label, the
// processed views, the stereo output image and the four accuracy indicators.

#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include <QDebug>
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

const QPalette& statePalette(IndicatorState state)
{
    auto solid = [](Qt::GlobalColor colour) {
        QPalette palette;
        palette.setBrush(QPalette::All, QPalette::Window, QBrush(colour, Qt::SolidPattern));
        return palette;
    };
    static const QPalette green = solid(Qt::green);
    static const QPalette yellow = solid(Qt::yellow);
    static const QPalette red = solid(Qt::red);
    switch (state) {
    case IndicatorState::Green:
        return green;
    case IndicatorState::Yellow:
        return yellow;
    case IndicatorState::Red:
        break;
    }
    return red;
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

} // namespace

void MainWindow::onNewLeftCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                                    std::vector<DetectedRectangle> rectangles)
{
    QMutexLocker lock(&m_mutex);
    qDebug() << "onNewLeftCalibrationResultsArrived - rawFrame.data ="
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
    qDebug() << "onNewRightCalibrationResultsArrived - rawFrame.data ="
             << static_cast<const void*>(rawFrame.image.data);
    m_rightRawFrame = rawFrame;
    m_rightProcessedFrame = processedFrame;
    m_rightRectangles = std::move(rectangles);
    showCalibrationResultsWhenPaired();
}

void MainWindow::showCalibrationResultsWhenPaired()
{
    // Until the other side's result of the same instant arrives, this one waits.
    if (!haveSameTimeLabel(m_leftRawFrame, m_rightRawFrame))
        return;
    showImage(m_leftProcessedFrame.image, m_ui->lbl_ImageProcessedLeft);
    showImage(m_rightProcessedFrame.image, m_ui->lbl_ImageProcessedRight);
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
    showImage(stereoOutputImage(m_leftRawFrame.image, m_rightRawFrame.image, mode), m_ui->lbl_ImageResult);

    const std::optional<CalibrationMeasurement> measurement =
        measureCalibration(m_leftRectangles, m_rightRectangles);
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
