#pragma once

#include "app/syncreading.h"

#include "app/alignmentlog.h"
#include "app/scenereadout.h"
#include "calibration/alignmentreadout.h"
#include "calibration/calibrationindicators.h"
#include "calibration/calibrationpairing.h"

#include <QElapsedTimer>
#include <QObject>
#include <optional>

namespace Ui {
class MainWindow;
}

// The alignment panel under the calibration tab's indicators: readings in
// units a crew can act on, their trend over the last minute, the take log and
// the check that the right picture is oriented as the left one.
class AlignmentPanel : public QObject
{
    Q_OBJECT

public:
    explicit AlignmentPanel(Ui::MainWindow& form, QObject* parent = nullptr);

    // The readout, its trend, the take log and the orientation check of one
    // pair, after the indicators were updated: averages are what they show,
    // empty when they read "UNDEFINED" (nothing was measured). Returns the
    // averaged reading shown, empty when nothing was measured.
    std::optional<AlignmentReading> update(const CalibrationPair& pair,
                                           const std::optional<CalibrationAverages>& averages);
    // Empties the readout, its trend and the orientation warning, and forgets
    // the readings they average. A running recording goes on.
    void clearAlignment();
    // The scene measurement of a pair, beside the board's readings and on the trend.
    void showSceneResults(const VideoFrame& leftFrame, const SceneMeasurement& measurement);
    SceneReadout& sceneReadout() { return *m_sceneReadout; }
    // The cameras' offset as last measured, for the take log's next lines.
    void setSync(const SyncReading& sync) { m_sync = sync; }

private:
    // Writes the line of this update when recording; a failure stops the
    // recording and says why beside the Record button.
    void logAlignment(const CalibrationPair& pair, const std::optional<AlignmentReading>& reading,
                      const std::optional<CalibrationAverages>& averages);
    // "Recording 12 measurement lines (and the header line) to <file>".
    QString recordedLines(const QString& verb) const;
    void stopAlignmentRecording(const QString& status);
    void onRecordToggled(bool checked);
    void checkOrientationAtMostTwiceASecond(const CalibrationPair& pair);

    Ui::MainWindow& m_ui;
    // The readout's readings, in step with the indicator history.
    AlignmentHistory m_alignmentHistory;
    // Time of the readings on the trend, from the panel's first reading.
    QElapsedTimer m_alignmentClock;
    // Since the last orientation check; invalid before the first.
    QElapsedTimer m_orientationClock;
    AlignmentLog m_alignmentLog;
    // The scene's column, rows and overlay in the readout; the panel's child.
    SceneReadout* m_sceneReadout;
    SyncReading m_sync;
};
