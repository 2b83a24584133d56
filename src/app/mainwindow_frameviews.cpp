// Frame views and status labels: the live views, the one way every picture
// reaches a label, the "Info" texts and the scaled logos.

#include "app/mainwindow.h"
#include "pipeline/logcategories.h"

#include "app/viewpicture.h"
#include "capture/decklinkcodenames.h"
#include "ui_mainwindow.h"

#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMutexLocker>
#include <QPixmap>
#include <QResizeEvent>
#include <QScrollArea>
#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace {

const QString kLogoPath = QStringLiteral(":/resources/duoscope-512.png");

// The room a picture label has: the viewport of its scroll area (label ->
// content widget -> viewport -> scroll area) less the margins of the content
// layout. A label outside a scroll area keeps its own size.
QSize viewBox(const QLabel* label)
{
    const QWidget* content = label->parentWidget();
    const QWidget* viewport = content ? content->parentWidget() : nullptr;
    if (!viewport || !qobject_cast<const QScrollArea*>(viewport->parentWidget()))
        return label->size();
    QSize box = viewport->size();
    if (const QLayout* layout = content->layout()) {
        const QMargins margins = layout->contentsMargins();
        box -= QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
    }
    return box;
}

struct InfoLabels
{
    QLabel* pixelFormat;
    QLabel* displayMode;
    QLabel* timecode;
    QLabel* timecodeUserBits;
    QLabel* timecodeFormat;
    QLabel* hardwareReferenceTimestamp;
    QLabel* streamTime;
};

void showFrameInfo(const InfoLabels& labels, uint32_t pixelFormat, uint32_t displayMode, uint32_t timecode,
                   uint32_t timecodeUserBits, uint32_t timecodeFormat, uint32_t hardwareReferenceTimestamp,
                   uint32_t streamTime)
{
    labels.pixelFormat->setText(pixelFormatToString(pixelFormat));
    labels.displayMode->setText(displayModeToString(displayMode));
    labels.timecode->setText(formatTimeWord(timecode));
    labels.timecodeUserBits->setText(QString::number(timecodeUserBits, 16));
    labels.timecodeFormat->setText(timecodeFormatToString(timecodeFormat));
    labels.hardwareReferenceTimestamp->setText(formatTimeWord(hardwareReferenceTimestamp));
    labels.streamTime->setText(formatTimeWord(streamTime));
}

} // namespace

void MainWindow::onNewLeftRawFrameArrived(VideoFrame rawFrame)
{
    QMutexLocker lock(&m_mutex);
    qCDebug(lcWindow) << "onNewLeftRawFrameArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    m_leftRawFrame = rawFrame;
    showFrame(m_leftRawFrame, m_ui->lbl_ImageLiveLeft);
    const VideoFrame& f = m_leftRawFrame;
    updateLeftFrameInfo(f.pixelFormat, f.displayMode, f.timecode, f.timecodeUserBits, f.timecodeFormat,
                        f.hardwareReferenceTimestamp, f.streamTime);
    if (f.noInputSignal)
        showNoSignalInfo(m_ui->lbl_leftDisplayMode, m_ui->lbl_leftTimecode, f.displayMode);
}

void MainWindow::onNewRightRawFrameArrived(VideoFrame rawFrame)
{
    QMutexLocker lock(&m_mutex);
    qCDebug(lcWindow) << "onNewRightRawFrameArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    m_rightRawFrame = rawFrame;
    showFrame(m_rightRawFrame, m_ui->lbl_ImageLiveRight);
    const VideoFrame& f = m_rightRawFrame;
    updateRightFrameInfo(f.pixelFormat, f.displayMode, f.timecode, f.timecodeUserBits, f.timecodeFormat,
                         f.hardwareReferenceTimestamp, f.streamTime);
    if (f.noInputSignal)
        showNoSignalInfo(m_ui->lbl_rightDisplayMode, m_ui->lbl_rightTimecode, f.displayMode);
}

QString MainWindow::noSignalText(uint32_t displayMode)
{
    return QStringLiteral(
               "No signal\n\nNothing readable reaches the input (set to %1): check the camera and its "
               "cable, or choose the camera's display mode (or Auto-detect).")
        .arg(displayModeToString(displayMode));
}

void MainWindow::showFrame(const VideoFrame& frame, QLabel* label)
{
    // The black filler of an input without signal would pass for a picture.
    if (frame.noInputSignal) {
        showViewText(label, frame.noSignalReason.isEmpty() ? noSignalText(frame.displayMode)
                                                           : unreadablePictureText(frame.noSignalReason));
        return;
    }
    showImage(frame.image, label);
}

void MainWindow::showNoSignalInfo(QLabel* displayModeRow, QLabel* timecodeRow, uint32_t displayMode)
{
    displayModeRow->setText(displayModeToString(displayMode) + QStringLiteral(": no signal"));
    timecodeRow->setText(QStringLiteral("No signal"));
}

void MainWindow::showImage(const cv::Mat& frame, QLabel* label)
{
    if (!frame.data || frame.empty()) {
        label->clear();
        return;
    }
    // Scaling first keeps the cost of the conversion to the size of the
    // view, whatever the size of the capture.
    label->setPixmap(viewPixmap(resizeToFit(frame, viewBox(label))));
}

cv::Mat MainWindow::resizeToFit(const cv::Mat& source, QSize box)
{
    cv::Mat resized;
    if (source.empty() || box.isEmpty())
        return resized;
    const double scale = std::min(double(box.width()) / source.cols, double(box.height()) / source.rows);
    // A very thin picture keeps at least one pixel across instead of vanishing.
    const int width = std::max(1, int(source.cols * scale));
    const int height = std::max(1, int(source.rows * scale));
    cv::resize(source, resized, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return resized;
}

void MainWindow::updateLeftFrameInfo(uint32_t pixelFormat, uint32_t displayMode, uint32_t timecode,
                                     uint32_t timecodeUserBits, uint32_t timecodeFormat,
                                     uint32_t hardwareReferenceTimestamp, uint32_t streamTime)
{
    showFrameInfo({m_ui->lbl_leftPixelFormat, m_ui->lbl_leftDisplayMode, m_ui->lbl_leftTimecode,
                   m_ui->lbl_leftTimecodeUserBits, m_ui->lbl_leftTimecodeFormat,
                   m_ui->lbl_leftHardwareReferenceTimestamp, m_ui->lbl_leftStreamTime},
                  pixelFormat, displayMode, timecode, timecodeUserBits, timecodeFormat,
                  hardwareReferenceTimestamp, streamTime);
}

void MainWindow::updateRightFrameInfo(uint32_t pixelFormat, uint32_t displayMode, uint32_t timecode,
                                      uint32_t timecodeUserBits, uint32_t timecodeFormat,
                                      uint32_t hardwareReferenceTimestamp, uint32_t streamTime)
{
    showFrameInfo({m_ui->lbl_rightPixelFormat, m_ui->lbl_rightDisplayMode, m_ui->lbl_rightTimecode,
                   m_ui->lbl_rightTimecodeUserBits, m_ui->lbl_rightTimecodeFormat,
                   m_ui->lbl_rightHardwareReferenceTimestamp, m_ui->lbl_rightStreamTime},
                  pixelFormat, displayMode, timecode, timecodeUserBits, timecodeFormat,
                  hardwareReferenceTimestamp, streamTime);
}

void MainWindow::clearFrameInfo(bool left, bool right)
{
    if (left)
        for (QLabel* row : {m_ui->lbl_leftPixelFormat, m_ui->lbl_leftDisplayMode, m_ui->lbl_leftTimecode,
                            m_ui->lbl_leftTimecodeUserBits, m_ui->lbl_leftTimecodeFormat,
                            m_ui->lbl_leftHardwareReferenceTimestamp, m_ui->lbl_leftStreamTime})
            row->clear();
    if (right)
        for (QLabel* row : {m_ui->lbl_rightPixelFormat, m_ui->lbl_rightDisplayMode, m_ui->lbl_rightTimecode,
                            m_ui->lbl_rightTimecodeUserBits, m_ui->lbl_rightTimecodeFormat,
                            m_ui->lbl_rightHardwareReferenceTimestamp, m_ui->lbl_rightStreamTime})
            row->clear();
}

void MainWindow::setUpLogos()
{
    m_ui->lbl_duoscopeLogo->installEventFilter(this);
    m_ui->lbl_duoscopeLogo_2->installEventFilter(this);
    m_ui->lbl_duoscopeLogo_3->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        for (QLabel* logo : {m_ui->lbl_duoscopeLogo, m_ui->lbl_duoscopeLogo_2, m_ui->lbl_duoscopeLogo_3}) {
            if (watched != logo)
                continue;
            const QSize size = static_cast<QResizeEvent*>(event)->size();
            const QImage scaled =
                QImage(kLogoPath).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            logo->setPixmap(QPixmap::fromImage(scaled, Qt::AutoColor));
            break;
        }
    }
    // Never consumed: the labels handle their resize as usual.
    return QMainWindow::eventFilter(watched, event);
}
