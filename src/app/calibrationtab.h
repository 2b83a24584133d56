#pragma once

#include "app/alignmentpanel.h"
#include "app/framepipeline.h"
#include "calibration/calibrationindicators.h"
#include "calibration/calibrationpairing.h"

#include <QObject>

namespace Ui {
class MainWindow;
}

// The calibration tab: the processed views of each paired result, the stereo
// output image, the four accuracy indicators with the line that says why
// nothing is measured, and under them the alignment panel. The window's
// child; the pipeline's calibration route ends at showCalibrationResults.
class CalibrationTab : public QObject
{
    Q_OBJECT

public:
    CalibrationTab(Ui::MainWindow& form, FramePipeline& pipeline, QObject* parent);

    // Empties the tab: views, output image, indicators and the line under
    // them, the alignment panel; the indicator history starts afresh. Results
    // already on their way are taken in first, so none lands after the clearing.
    void clearCalibrationResults();

    AlignmentPanel& alignment() { return m_alignment; }

public slots:
    // Both processed views, the output image and the indicators of one pair of results.
    void showCalibrationResults(const CalibrationPair& pair);
    // The scene measurement of a pair, shown beside the board's readings.
    void onNewSceneResults(VideoFrame leftFrame, VideoFrame rightFrame, SceneMeasurement measurement);

private:
    // Tests reach the indicator history through it.
    friend class MainWindowProbe;

    // The output image and the four indicators from the pair, and what they
    // show; empty when the results cannot be compared and the indicators read
    // "UNDEFINED".
    std::optional<CalibrationAverages> updateCalibrationIndicators(const CalibrationPair& pair);

    Ui::MainWindow& m_ui;
    FramePipeline& m_pipeline;
    AlignmentPanel m_alignment;
    // Started afresh by a capture stop and by each visit of the calibration tab.
    IndicatorHistory m_indicatorHistory;
};
