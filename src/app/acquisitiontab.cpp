#include "app/acquisitiontab.h"
#include "pipeline/logcategories.h"

#include "app/frameview.h"
#include "app/panelstyle.h"
#include "app/viewpicture.h"
#include "capture/decklinkcodenames.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <array>

namespace {

// The seven info rows of one camera.
struct InfoRows
{
    QLabel* pixelFormat;
    QLabel* displayMode;
    QLabel* timecode;
    QLabel* timecodeUserBits;
    QLabel* timecodeFormat;
    QLabel* hardwareReferenceTimestamp;
    QLabel* streamTime;

    std::array<QLabel*, 7> all() const
    {
        return {pixelFormat,      displayMode,    timecode,
                timecodeUserBits, timecodeFormat, hardwareReferenceTimestamp,
                streamTime};
    }
};

InfoRows leftRows(const Ui::MainWindow& ui)
{
    return {ui.lbl_leftPixelFormat,      ui.lbl_leftDisplayMode,    ui.lbl_leftTimecode,
            ui.lbl_leftTimecodeUserBits, ui.lbl_leftTimecodeFormat, ui.lbl_leftHardwareReferenceTimestamp,
            ui.lbl_leftStreamTime};
}

InfoRows rightRows(const Ui::MainWindow& ui)
{
    return {ui.lbl_rightPixelFormat,      ui.lbl_rightDisplayMode,    ui.lbl_rightTimecode,
            ui.lbl_rightTimecodeUserBits, ui.lbl_rightTimecodeFormat, ui.lbl_rightHardwareReferenceTimestamp,
            ui.lbl_rightStreamTime};
}

// The frame in its view and its description in the info rows; a frame from
// an input without signal says so there too.
void showLiveFrame(const VideoFrame& f, QLabel* view, const InfoRows& rows)
{
    showFrame(f, view);
    rows.pixelFormat->setText(pixelFormatToString(f.pixelFormat));
    rows.displayMode->setText(displayModeToString(f.displayMode));
    rows.timecode->setText(formatTimeWord(f.timecode));
    rows.timecodeUserBits->setText(QString::number(f.timecodeUserBits, 16));
    rows.timecodeFormat->setText(timecodeFormatToString(f.timecodeFormat));
    rows.hardwareReferenceTimestamp->setText(formatTimeWord(f.hardwareReferenceTimestamp));
    rows.streamTime->setText(formatTimeWord(f.streamTime));
    if (f.noInputSignal) {
        rows.displayMode->setText(displayModeToString(f.displayMode) + QStringLiteral(": no signal"));
        rows.timecode->setText(QStringLiteral("No signal"));
    }
}

} // namespace

AcquisitionTab::AcquisitionTab(Ui::MainWindow& form, FramePipeline& pipeline, QObject* parent)
    : QObject(parent), m_ui(form), m_pipeline(pipeline)
{
    setObjectName(QStringLiteral("acquisitionTab"));
    // Halves exist only in the side-by-side and under/over layouts.
    connect(m_ui.radio_Identical, &QAbstractButton::toggled, m_ui.chb_FullSizeHalves, &QWidget::setDisabled);
    m_ui.chb_FullSizeHalves->setDisabled(m_ui.radio_Identical->isChecked());
    const QAbstractButton* settingsButtons[] = {
        m_ui.rbn_SingleInput,       m_ui.rbn_DoubleInput,          m_ui.radio_Identical,
        m_ui.radio_SideBySide,      m_ui.radio_UnderOver,          m_ui.sett_LeftRotateLeft,
        m_ui.sett_LeftRotateRight,  m_ui.sett_LeftRotate180,       m_ui.sett_LeftFlipHorizontal,
        m_ui.sett_LeftFlipVertical, m_ui.sett_RightRotateLeft,     m_ui.sett_RightRotateRight,
        m_ui.sett_RightRotate180,   m_ui.sett_RightFlipHorizontal, m_ui.sett_RightFlipVertical,
        m_ui.chb_FullSizeHalves};
    for (const QAbstractButton* button : settingsButtons)
        connect(button, &QAbstractButton::toggled, this, &AcquisitionTab::reloadImageProcessingSettings);
    reloadImageProcessingSettings();
    makeColumnScrollable(m_ui.horizontalLayout_Acquisition, m_ui.verticalLayout_AcquisitionControls);

    // The live views paint their own background, in the window's colour: a
    // view that does not is drawn over its frame and group box, repainted
    // beneath it with every frame.
    for (QLabel* label : {m_ui.lbl_ImageLiveLeft, m_ui.lbl_ImageLiveRight})
        label->setAutoFillBackground(true);
    // The three times change with every frame. A label whose text changes
    // asks the layouts above it to be redone, up to the tab widget, which
    // then repaints whole (with the previous change, a third of the window
    // thread's time at 2 x 50 frames a second); a label of fixed size asks
    // nothing. Wide enough for a valid time word (hours up to 255), right-aligned
    // as the other values.
    const std::pair<QFormLayout*, InfoRows> sides[] = {{m_ui.formLayout_left, leftRows(m_ui)},
                                                       {m_ui.formLayout_right, rightRows(m_ui)}};
    for (const auto& [form, rows] : sides)
        for (QLabel* time : {rows.timecode, rows.hardwareReferenceTimestamp, rows.streamTime}) {
            const QFontMetrics metrics = time->fontMetrics();
            time->setFixedSize(metrics.horizontalAdvance(QStringLiteral("000:00:00:00")) + metrics.averageCharWidth(),
                               metrics.height());
            form->setAlignment(time, Qt::AlignRight | Qt::AlignVCenter);
        }

    // Each input's measured frame rate and missing frames, under its info rows.
    QLabel* frames[2];
    int side = 0;
    for (QFormLayout* rows : {m_ui.formLayout_left, m_ui.formLayout_right}) {
        frames[side] = new QLabel(rows->parentWidget());
        frames[side]->setObjectName(side == 0 ? QStringLiteral("lbl_leftFrames")
                                              : QStringLiteral("lbl_rightFrames"));
        frames[side]->setWordWrap(true);
        frames[side]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        rows->addRow(QStringLiteral("Frames:"), frames[side]);
        ++side;
    }
    // The cameras' offset, between the views and the info rows.
    auto* sync = new QLabel(m_ui.verticalLayout_AcquisitionViews->parentWidget());
    sync->setObjectName(QStringLiteral("lbl_CameraSync"));
    sync->setWordWrap(true);
    sync->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Its line is kept when empty, so the views do not move as capture starts and stops.
    sync->setMinimumHeight(sync->fontMetrics().height());
    m_ui.verticalLayout_AcquisitionViews->insertWidget(1, sync);
    connect(m_pipeline.monitor(), &InputMonitor::syncChanged, sync, &QLabel::setText);
    connect(m_pipeline.monitor(), &InputMonitor::inputsSummarised, this,
            [left = frames[0], right = frames[1]](const QString& leftText, const QString& rightText) {
                left->setText(leftText);
                right->setText(rightText);
            });
}

void AcquisitionTab::onNewLeftRawFrameArrived(VideoFrame rawFrame)
{
    qCDebug(lcWindow) << "onNewLeftRawFrameArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    showSide(0, rawFrame);
}

void AcquisitionTab::onNewRightRawFrameArrived(VideoFrame rawFrame)
{
    qCDebug(lcWindow) << "onNewRightRawFrameArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    showSide(1, rawFrame);
}

void AcquisitionTab::showSide(int side, const VideoFrame& frame)
{
    QLabel* const view = side == 0 ? m_ui.lbl_ImageLiveLeft : m_ui.lbl_ImageLiveRight;
    showLiveFrame(frame, view, side == 0 ? leftRows(m_ui) : rightRows(m_ui));
    if (!m_awaited[side])
        return;
    if (!frame.noInputSignal) {
        m_awaited[side].reset();
        return;
    }
    showViewText(view, noSignalFrameText(frame) + QStringLiteral("\n\n") + waitingText(side));
}

QString AcquisitionTab::waitingText(int side) const
{
    const DeckLinkDevice* device = m_awaited[side].get();
    const QString problem = device->driverProblem();
    return QStringLiteral("Waiting for the first frame from %1").arg(device->GetDeviceName()) +
           (problem.isEmpty() ? QStringLiteral(". Stop capture ends the wait.")
                              : QStringLiteral(": %1. Stop capture ends the wait.").arg(problem));
}

void AcquisitionTab::awaitFirstFrame(DeckLinkDevice* device, bool left, bool right)
{
    for (int side : {0, 1}) {
        if (!(side == 0 ? left : right))
            continue;
        m_awaited[side] = ComPtr<DeckLinkDevice>::share(device);
        showViewText(side == 0 ? m_ui.lbl_ImageLiveLeft : m_ui.lbl_ImageLiveRight, waitingText(side));
    }
}

void AcquisitionTab::clearFrameInfo(bool left, bool right)
{
    if (left)
        for (QLabel* row : leftRows(m_ui).all())
            row->clear();
    if (right)
        for (QLabel* row : rightRows(m_ui).all())
            row->clear();
}

void AcquisitionTab::clearLiveViews()
{
    // Frames the preprocessing threads sent before they stopped are still
    // queued here; shown after the views are cleared, they would leave a
    // stopped capture's last pictures standing.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_awaited[0].reset();
    m_awaited[1].reset();
    m_ui.lbl_ImageLiveLeft->setPixmap(QPixmap());
    m_ui.lbl_ImageLiveRight->setPixmap(QPixmap());
}

FrameTransform formTransform(const Ui::MainWindow& form, FramePipeline::Side side)
{
    const bool left = side == FramePipeline::Side::Left;
    FrameTransform transform;
    transform.rotateLeft = (left ? form.sett_LeftRotateLeft : form.sett_RightRotateLeft)->isChecked();
    transform.rotateRight = (left ? form.sett_LeftRotateRight : form.sett_RightRotateRight)->isChecked();
    transform.rotate180 = (left ? form.sett_LeftRotate180 : form.sett_RightRotate180)->isChecked();
    transform.flipHorizontal =
        (left ? form.sett_LeftFlipHorizontal : form.sett_RightFlipHorizontal)->isChecked();
    transform.flipVertical = (left ? form.sett_LeftFlipVertical : form.sett_RightFlipVertical)->isChecked();
    return transform;
}

void AcquisitionTab::reloadImageProcessingSettings()
{
    int inputMode = InputUnderOver;
    if (m_ui.rbn_DoubleInput->isChecked())
        inputMode = InputDouble;
    else if (m_ui.radio_Identical->isChecked())
        inputMode = InputIdentical;
    else if (m_ui.radio_SideBySide->isChecked())
        inputMode = InputSideBySide;

    m_pipeline.setPreprocessingSettings(inputMode, formTransform(m_ui, FramePipeline::Side::Left),
                                        formTransform(m_ui, FramePipeline::Side::Right),
                                        m_ui.chb_FullSizeHalves->isChecked());
}
