// The calibration tab: the processed views of the paired results, the stereo
// output image and the four accuracy indicators.

#include "app/calibrationtab.h"
#include "pipeline/logcategories.h"

#include "app/frameview.h"
#include "app/panelstyle.h"
#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QLabel>
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

CalibrationTab::CalibrationTab(Ui::MainWindow& form, FramePipeline& pipeline, QObject* parent)
    : QObject(parent), m_ui(form), m_pipeline(pipeline), m_alignment(form)
{
    setObjectName(QStringLiteral("calibrationTab"));
    markPanelShown(m_ui.btn_CalibrationDetailsShowHide);
    connect(m_ui.btn_CalibrationDetailsShowHide, &QAbstractButton::clicked, this,
            [this] { togglePanel(m_ui.frm_ProcessedView, m_ui.btn_CalibrationDetailsShowHide); });
    // The form keeps two labels for the board's angles; the tab never shows them.
    m_ui.lbl_AngleLeft->hide();
    m_ui.lbl_AngleRight->hide();
    // The readout's values and actions ("Right camera: zoom out 1.01 % (or check focus)") need the room.
    makeColumnScrollable(m_ui.horizontalLayout_Calibration, m_ui.verticalLayout_CalibrationControls, 62);
    addWaitingLine(*m_pipeline.monitor(), m_ui.verticalLayout_CalibrationViews,
                   QStringLiteral("lbl_CalibrationWaiting"));
    connect(m_pipeline.monitor(), &InputMonitor::syncChanged, this,
            [this] { m_alignment.setSync(m_pipeline.monitor()->sync()); });
}

void CalibrationTab::clearCalibrationResults()
{
    // The stored results pair the next ones: none of them may be paired with
    // a result of before.
    m_pipeline.calibrationPairing()->clear();
    m_indicatorHistory.clear();
    for (QLabel* view : {m_ui.lbl_ImageProcessedLeft, m_ui.lbl_ImageProcessedRight, m_ui.lbl_ImageResult})
        view->clear();
    for (QLabel* text : {m_ui.lbl_zoomTxt, m_ui.lbl_RotationTxt, m_ui.lbl_yOffsetTxt, m_ui.lbl_xOffsetTxt}) {
        text->clear();
        text->setPalette(QPalette());
    }
    for (QSlider* slider :
         {m_ui.slider_ZoomRelation, m_ui.slider_Rotation, m_ui.slider_YOffset, m_ui.slider_XOffset})
        slider->setValue(0);
    m_ui.lbl_IndicatorsProblem->clear();
    m_alignment.clearAlignment();
    m_pipeline.disparityMap()->setRigCorrection(RigCorrection());
}

void CalibrationTab::showCalibrationResults(const CalibrationPair& pair)
{
    showFrame(pair.left.processed, m_ui.lbl_ImageProcessedLeft);
    showFrame(pair.right.processed, m_ui.lbl_ImageProcessedRight);
    const std::optional<AlignmentReading> mean = m_alignment.update(pair, updateCalibrationIndicators(pair));
    // The disparity analysis measures the scene's depth, not the rig's misalignment.
    if (mean)
        m_pipeline.disparityMap()->setRigCorrection(
            RigCorrection{true, mean->verticalPercent, mean->rollDegrees, mean->sizePercent});
}

void CalibrationTab::onNewSceneResults(VideoFrame leftFrame, VideoFrame, SceneMeasurement measurement)
{
    m_alignment.showSceneResults(leftFrame, measurement);
}

std::optional<CalibrationAverages> CalibrationTab::updateCalibrationIndicators(const CalibrationPair& pair)
{
    StereoOutput mode = StereoOutput::None;
    if (m_ui.rdb_CalibOutputSum->isChecked())
        mode = StereoOutput::Sum;
    else if (m_ui.rdb_CalibOutputDifference->isChecked())
        mode = StereoOutput::Difference;
    else if (m_ui.rdb_CalibOutputAnaglyph->isChecked())
        mode = StereoOutput::Anaglyph;
    cv::Mat output = stereoOutputImage(pair.left.raw.image, pair.right.raw.image, mode);
    m_alignment.sceneReadout().drawOverlay(output);
    showImage(output, m_ui.lbl_ImageResult);

    const ComparedSide left{pair.left.raw.noInputSignal, pair.left.processed.image.cols,
                            pair.left.processed.image.rows, &pair.left.rectangles};
    const ComparedSide right{pair.right.raw.noInputSignal, pair.right.processed.image.cols,
                             pair.right.processed.image.rows, &pair.right.rectangles};
    const ComparisonProblem problem = comparisonProblem(left, right);
    const std::optional<CalibrationMeasurement> measurement =
        problem == ComparisonProblem::None ? measureCalibration(pair.left.rectangles, pair.right.rectangles)
                                           : std::nullopt;
    m_ui.lbl_IndicatorsProblem->setText(problemText(problem, pair.left.processed.image,
                                                    pair.right.processed.image, pair.left.rectangles,
                                                    pair.right.rectangles));
    if (!measurement) {
        // Without a comparable board on both sides nothing is measured: the
        // sliders and the history stay as they were.
        for (QLabel* text :
             {m_ui.lbl_zoomTxt, m_ui.lbl_RotationTxt, m_ui.lbl_xOffsetTxt, m_ui.lbl_yOffsetTxt}) {
            text->setText(QStringLiteral("UNDEFINED"));
            text->setPalette(statePalette(IndicatorState::Red));
        }
        return std::nullopt;
    }

    const CalibrationAverages averages = m_indicatorHistory.add(*measurement);
    showIndicator(m_ui.lbl_zoomTxt, m_ui.slider_ZoomRelation, averages.zoom,
                  QString::number(averages.zoom, 'g', 2), kZoomLimits);
    showIndicator(m_ui.lbl_RotationTxt, m_ui.slider_Rotation, averages.rotation,
                  QString::number(averages.rotation, 'g', 5), kRotationLimits);
    showIndicator(m_ui.lbl_yOffsetTxt, m_ui.slider_YOffset, averages.yOffset,
                  QString::number(averages.yOffset), kYOffsetLimits);
    showIndicator(m_ui.lbl_xOffsetTxt, m_ui.slider_XOffset, averages.xOffset,
                  QString::number(averages.xOffset), kXOffsetLimits);
    return averages;
}
