// The alignment panel: readings in units a crew can act on, their trend over
// the last minute, the take log and the check that the right picture is
// oriented as the left one.

#include "app/alignmentpanel.h"

#include "app/acquisitiontab.h"
#include "app/orientationadvice.h"
#include "app/panelstyle.h"
#include "pipeline/logcategories.h"
#include "plots/alignmenttrendplot.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <utility>

namespace {

struct ReadoutRow
{
    QLabel* value;
    QLabel* state;
    QLabel* action;
};

// The checks run at most this often, in milliseconds.
constexpr qint64 kOrientationInterval = 500;

const QString kRecord = QStringLiteral("Record");
const QString kStopRecording = QStringLiteral("Stop recording");

} // namespace

AlignmentPanel::AlignmentPanel(Ui::MainWindow& form, QObject* parent)
    : QObject(parent), m_ui(form), m_sceneReadout(new SceneReadout(form.gridLayout_Alignment, this))
{
    connect(m_ui.btn_AlignmentRecord, &QAbstractButton::toggled, this, &AlignmentPanel::onRecordToggled);
    // The button keeps its place and width whatever it and the status beside
    // it say, so that the click that stops a recording lands on it.
    QPushButton* record = m_ui.btn_AlignmentRecord;
    record->setText(kStopRecording);
    record->setFixedWidth(record->sizeHint().width());
    record->setText(kRecord);
    m_ui.horizontalLayout_AlignmentRecord->setAlignment(record, Qt::AlignTop);
    // The readout starts empty, the orientation warning hidden.
    clearAlignment();
}

std::optional<AlignmentReading> AlignmentPanel::update(const CalibrationPair& pair,
                                                       const std::optional<CalibrationAverages>& averages)
{
    const ReadoutRow rows[4] = {
        {m_ui.lbl_AlignVerticalValue, m_ui.lbl_AlignVerticalState, m_ui.lbl_AlignVerticalAction},
        {m_ui.lbl_AlignRollValue, m_ui.lbl_AlignRollState, m_ui.lbl_AlignRollAction},
        {m_ui.lbl_AlignSizeValue, m_ui.lbl_AlignSizeState, m_ui.lbl_AlignSizeAction},
        {m_ui.lbl_AlignHorizontalValue, m_ui.lbl_AlignHorizontalState, m_ui.lbl_AlignHorizontalAction}};

    // The processed pictures are the cameras' full pictures: the halves of a
    // side-by-side or under/over signal are either full-size already or scaled
    // back to full size before they get here.
    const FullSizeScale scale;
    std::optional<AlignmentReading> reading;
    if (averages)
        reading =
            measureAlignment(pair.left.rectangles, pair.right.rectangles, pair.left.raw.image.size(), scale);

    if (!reading) {
        // As the indicators: nothing measured, nothing added to the history.
        for (const ReadoutRow& row : rows) {
            row.value->setText(QStringLiteral("-"));
            row.state->setText(QStringLiteral("UNDEFINED"));
            row.state->setPalette(statePalette(IndicatorState::Red));
            row.action->setText(QStringLiteral("Nothing measured: see the reason under the indicators"));
        }
    } else {
        const AlignmentReading mean = m_alignmentHistory.add(*reading);
        const AlignmentStates states = alignmentStates(*averages);
        const ReadoutTexts texts = readoutTexts(mean, states);
        const std::pair<const QString*, const QString*> shown[4] = {
            {&texts.vertical, &texts.verticalAction},
            {&texts.roll, &texts.rollAction},
            {&texts.size, &texts.sizeAction},
            {&texts.horizontal, &texts.horizontalAction}};
        const IndicatorState state[4] = {states.vertical, states.roll, states.size, states.horizontal};
        for (int i = 0; i < 4; ++i) {
            rows[i].value->setText(*shown[i].first);
            rows[i].state->setText(stateWord(state[i]));
            rows[i].state->setPalette(statePalette(state[i]));
            rows[i].action->setText(*shown[i].second);
        }
        if (!m_alignmentClock.isValid())
            m_alignmentClock.start();
        m_ui.wgt_AlignmentTrend->setBands(readoutBands(scale));
        m_ui.wgt_AlignmentTrend->addReading(m_alignmentClock.elapsed() / 1000.0, mean);
        reading = mean;
    }
    logAlignment(pair, reading, averages);
    checkOrientationAtMostTwiceASecond(pair);
    return reading;
}

void AlignmentPanel::logAlignment(const CalibrationPair& pair, const std::optional<AlignmentReading>& reading,
                                  const std::optional<CalibrationAverages>& averages)
{
    if (!m_ui.btn_AlignmentRecord->isChecked())
        return;
    if (!m_alignmentLog.isRecording()) {
        // The file is named after the first line's time label.
        const QString directory = m_ui.lineEdit_disparityOutputDir->text();
        if (!m_alignmentLog.start(directory, timeLabel(pair.left.raw))) {
            stopAlignmentRecording(
                QStringLiteral("Not recording: cannot create the take log (%1). Set the output directory on "
                               "the Disparity Map tab, then press Record again.")
                    .arg(m_alignmentLog.filePath().isEmpty()
                             ? m_alignmentLog.errorString()
                             : m_alignmentLog.filePath() + QStringLiteral(": ") +
                                   m_alignmentLog.errorString()));
            return;
        }
    }
    AlignmentLogEntry entry;
    entry.timeLabel = timeLabel(pair.left.raw);
    entry.boardLeft = !pair.left.rectangles.empty();
    entry.boardRight = !pair.right.rectangles.empty();
    if (reading)
        entry.indicators = averages;
    entry.readout = reading;
    entry.scene = m_sceneReadout->latest();
    entry.sceneTimeLabel = m_sceneReadout->latestTimeLabel();
    entry.sync = m_sync;
    if (!m_alignmentLog.append(entry)) {
        stopAlignmentRecording(QStringLiteral("Recording stopped at %3: cannot write %1 (%2). Press "
                                              "Record again to record into a new file.")
                                   .arg(QDir::toNativeSeparators(m_alignmentLog.filePath()),
                                        m_alignmentLog.errorString(), formatTimeWord(entry.timeLabel)));
        return;
    }
    m_ui.lbl_AlignmentRecordStatus->setText(recordedLines(QStringLiteral("Recording")));
}

QString AlignmentPanel::recordedLines(const QString& verb) const
{
    // The file holds a header line above the measurements.
    return QStringLiteral("%1 %2 measurement lines (and the header line) to %3")
        .arg(verb)
        .arg(m_alignmentLog.lineCount())
        .arg(QDir::toNativeSeparators(m_alignmentLog.filePath()));
}

void AlignmentPanel::stopAlignmentRecording(const QString& status)
{
    m_alignmentLog.stop();
    // Unchecked without the toggle slot, which would replace the message.
    const QSignalBlocker blocker(m_ui.btn_AlignmentRecord);
    m_ui.btn_AlignmentRecord->setChecked(false);
    m_ui.btn_AlignmentRecord->setText(kRecord);
    m_ui.lbl_AlignmentRecordStatus->setText(status);
    m_ui.lbl_AlignmentRecordStatus->setPalette(statePalette(IndicatorState::Red));
    m_ui.lbl_AlignmentRecordStatus->setAutoFillBackground(true);
}

void AlignmentPanel::onRecordToggled(bool checked)
{
    // The button says what pressing it does.
    m_ui.btn_AlignmentRecord->setText(checked ? kStopRecording : kRecord);
    m_ui.lbl_AlignmentRecordStatus->setAutoFillBackground(false);
    if (checked) {
        // A directory that is not there is said at once, not at the first measurement.
        const QString directory = m_ui.lineEdit_disparityOutputDir->text();
        if (directory.isEmpty() || !QDir(directory).exists()) {
            stopAlignmentRecording(
                QStringLiteral("Not recording: the output directory %1 does not exist. Set the output "
                               "directory on the Disparity Map tab, then press Record again.")
                    .arg(QDir::toNativeSeparators(directory)));
            return;
        }
        m_ui.lbl_AlignmentRecordStatus->setText(
            QStringLiteral("Recording starts with the next measurement, into %1")
                .arg(QDir::toNativeSeparators(directory)));
        return;
    }
    const bool wasRecording = m_alignmentLog.isRecording();
    m_alignmentLog.stop();
    m_ui.lbl_AlignmentRecordStatus->setText(wasRecording ? recordedLines(QStringLiteral("Recorded"))
                                                         : QString());
}

void AlignmentPanel::checkOrientationAtMostTwiceASecond(const CalibrationPair& pair)
{
    if (m_orientationClock.isValid() && m_orientationClock.elapsed() < kOrientationInterval)
        return;
    m_orientationClock.start();
    const OrientationCheck check = checkOrientation(pair.left.raw.image, pair.right.raw.image);
    const QString advice = orientationAdvice(check.verdict, formTransform(m_ui, FramePipeline::Side::Left),
                                             formTransform(m_ui, FramePipeline::Side::Right));
    qCDebug(lcWindow) << "checkOrientation - scores" << check.scores[0] << check.scores[1] << check.scores[2]
                      << check.scores[3];
    m_ui.lbl_OrientationWarning->setText(advice.isEmpty() ? QString() : QStringLiteral("WARNING: ") + advice);
    m_ui.lbl_OrientationWarning->setPalette(statePalette(IndicatorState::Yellow));
    m_ui.lbl_OrientationWarning->setVisible(!advice.isEmpty());
}

void AlignmentPanel::showSceneResults(const VideoFrame& leftFrame, const SceneMeasurement& measurement)
{
    m_sceneReadout->show(measurement, timeLabel(leftFrame));
    if (measurement.reading) {
        if (!m_alignmentClock.isValid())
            m_alignmentClock.start();
        m_ui.wgt_AlignmentTrend->addSceneReading(m_alignmentClock.elapsed() / 1000.0, *measurement.reading);
    }
}

void AlignmentPanel::clearAlignment()
{
    m_alignmentHistory.clear();
    m_sceneReadout->clear();
    m_ui.wgt_AlignmentTrend->clear();
    for (QLabel* label :
         {m_ui.lbl_AlignVerticalValue, m_ui.lbl_AlignVerticalState, m_ui.lbl_AlignVerticalAction,
          m_ui.lbl_AlignRollValue, m_ui.lbl_AlignRollState, m_ui.lbl_AlignRollAction, m_ui.lbl_AlignSizeValue,
          m_ui.lbl_AlignSizeState, m_ui.lbl_AlignSizeAction, m_ui.lbl_AlignHorizontalValue,
          m_ui.lbl_AlignHorizontalState, m_ui.lbl_AlignHorizontalAction}) {
        label->setText(QString());
        label->setPalette(QPalette());
    }
    m_ui.lbl_OrientationWarning->clear();
    m_ui.lbl_OrientationWarning->hide();
    m_orientationClock.invalidate();
}
