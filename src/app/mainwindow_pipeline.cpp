// The routing of the pipeline by tab, the input layout and rotate and flip
// settings pushed into the preprocessing threads, and the panels of the
// calibration and disparity tabs that can be shown and hidden.

#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QDebug>
#include <QStyle>
#include <algorithm>
#include <initializer_list>

void MainWindow::setUpPipeline()
{
    // Calibration results cross threads through queued connections made by signature string.
    qRegisterMetaType<std::vector<DetectedRectangle>>("std::vector<DetectedRectangle>");

    const QIcon shown = style()->standardIcon(QStyle::SP_DialogYesButton);
    m_ui->btn_CalibrationDetailsShowHide->setIcon(shown);
    m_ui->btn_DisparityDetailsShowHide->setIcon(shown);
    m_ui->btn_DisparityPreviewShowHide->setIcon(shown);

    const QAbstractButton* settingsButtons[] = {
        m_ui->rbn_SingleInput,       m_ui->rbn_DoubleInput,          m_ui->radio_Identical,
        m_ui->radio_SideBySide,      m_ui->radio_UnderOver,          m_ui->sett_LeftRotateLeft,
        m_ui->sett_LeftRotateRight,  m_ui->sett_LeftRotate180,       m_ui->sett_LeftFlipHorizontal,
        m_ui->sett_LeftFlipVertical, m_ui->sett_RightRotateLeft,     m_ui->sett_RightRotateRight,
        m_ui->sett_RightRotate180,   m_ui->sett_RightFlipHorizontal, m_ui->sett_RightFlipVertical};
    for (const QAbstractButton* button : settingsButtons)
        connect(button, SIGNAL(toggled(bool)), this, SLOT(reloadImageProcessingSettings()));

    m_leftPreprocessingThread = new ImgPreprocessingThread(0);
    m_rightPreprocessingThread = new ImgPreprocessingThread(1);
    reloadImageProcessingSettings();

    m_leftCalibrationThread = new CalibrationThread;
    m_rightCalibrationThread = new CalibrationThread;
    m_synchronizationThread = new SynchronizationThread;
    m_disparityMapThread = new DisparityMapThread;
}

void MainWindow::reloadImageProcessingSettings()
{
    int inputMode = InputUnderOver;
    if (m_ui->rbn_DoubleInput->isChecked())
        inputMode = InputDouble;
    else if (m_ui->radio_Identical->isChecked())
        inputMode = InputIdentical;
    else if (m_ui->radio_SideBySide->isChecked())
        inputMode = InputSideBySide;

    FrameTransform left;
    left.rotateLeft = m_ui->sett_LeftRotateLeft->isChecked();
    left.rotateRight = m_ui->sett_LeftRotateRight->isChecked();
    left.rotate180 = m_ui->sett_LeftRotate180->isChecked();
    left.flipHorizontal = m_ui->sett_LeftFlipHorizontal->isChecked();
    left.flipVertical = m_ui->sett_LeftFlipVertical->isChecked();
    FrameTransform right;
    right.rotateLeft = m_ui->sett_RightRotateLeft->isChecked();
    right.rotateRight = m_ui->sett_RightRotateRight->isChecked();
    right.rotate180 = m_ui->sett_RightRotate180->isChecked();
    right.flipHorizontal = m_ui->sett_RightFlipHorizontal->isChecked();
    right.flipVertical = m_ui->sett_RightFlipVertical->isChecked();

    m_leftPreprocessingThread->setSettings(inputMode, left, right);
    m_rightPreprocessingThread->setSettings(inputMode, left, right);
}

void MainWindow::on_tabWidget_currentChanged(int index)
{
    qDebug() << "ON_TABWIDGET_CURRENTCHANGED";
    if (!m_captureStarted)
        return;
    // Every route is broken and every analysis thread has left its loop
    // before the route of the new tab is made.
    disconnectRawView();
    stopCalibrationPipeline();
    stopDisparityPipeline();
    switch (index) {
    case 0:
        connectRawView();
        break;
    case 1:
        startCalibrationPipeline();
        break;
    case 2:
        startDisparityPipeline();
        break;
    default:
        break;
    }
}

void MainWindow::connectRawView()
{
    connect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
            SLOT(onNewLeftRawFrameArrived(VideoFrame)));
    connect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
            SLOT(onNewRightRawFrameArrived(VideoFrame)));
}

void MainWindow::disconnectRawView()
{
    if (m_leftPreprocessingThread)
        disconnect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                   SLOT(onNewLeftRawFrameArrived(VideoFrame)));
    if (m_rightPreprocessingThread)
        disconnect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), this,
                   SLOT(onNewRightRawFrameArrived(VideoFrame)));
}

void MainWindow::startCalibrationPipeline()
{
    connect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_leftCalibrationThread,
            SLOT(onNewInputFrameArrived(VideoFrame)));
    connect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_rightCalibrationThread,
            SLOT(onNewInputFrameArrived(VideoFrame)));
    connect(m_leftCalibrationThread,
            SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)), this,
            SLOT(onNewLeftCalibrationResultsArrived(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)));
    connect(
        m_rightCalibrationThread,
        SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)), this,
        SLOT(onNewRightCalibrationResultsArrived(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)));
    m_leftCalibrationThread->start();
    m_rightCalibrationThread->start();
}

void MainWindow::stopCalibrationPipeline()
{
    for (CalibrationThread* thread : {m_leftCalibrationThread, m_rightCalibrationThread}) {
        if (thread->isRunning()) {
            thread->stop();
            thread->wait();
        }
    }
    disconnect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_leftCalibrationThread,
               SLOT(onNewInputFrameArrived(VideoFrame)));
    disconnect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_rightCalibrationThread,
               SLOT(onNewInputFrameArrived(VideoFrame)));
    disconnect(
        m_leftCalibrationThread,
        SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)), this,
        SLOT(onNewLeftCalibrationResultsArrived(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)));
    disconnect(
        m_rightCalibrationThread,
        SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)), this,
        SLOT(onNewRightCalibrationResultsArrived(VideoFrame, VideoFrame, std::vector<DetectedRectangle>)));
}

void MainWindow::startDisparityPipeline()
{
    connect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_synchronizationThread,
            SLOT(onNewLeftInputFrameArrived(VideoFrame)));
    connect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_synchronizationThread,
            SLOT(onNewRightInputFrameArrived(VideoFrame)));
    connect(m_synchronizationThread, SIGNAL(newSynchronizedFrames(VideoFrame, VideoFrame)),
            m_disparityMapThread, SLOT(onNewInputFramesArrived(VideoFrame, VideoFrame)));
    connect(m_synchronizationThread, SIGNAL(newSynchronizedFrames(VideoFrame, VideoFrame)), this,
            SLOT(onDisparityPreview(VideoFrame, VideoFrame)));
    connect(m_disparityMapThread,
            SIGNAL(newDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo)), this,
            SLOT(onNewDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo)));
    connect(m_disparityMapThread, SIGNAL(disparityMapFailed(QString)), this,
            SLOT(onDisparityMapFailed(QString)));
    m_disparityMapThread->start();
    m_synchronizationThread->start();
}

void MainWindow::stopDisparityPipeline()
{
    for (WorkerThread* thread :
         std::initializer_list<WorkerThread*>{m_synchronizationThread, m_disparityMapThread}) {
        if (thread->isRunning()) {
            thread->stop();
            thread->wait();
        }
    }
    disconnect(m_leftPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_synchronizationThread,
               SLOT(onNewLeftInputFrameArrived(VideoFrame)));
    disconnect(m_rightPreprocessingThread, SIGNAL(newProcessingResults(VideoFrame)), m_synchronizationThread,
               SLOT(onNewRightInputFrameArrived(VideoFrame)));
    disconnect(m_synchronizationThread, SIGNAL(newSynchronizedFrames(VideoFrame, VideoFrame)),
               m_disparityMapThread, SLOT(onNewInputFramesArrived(VideoFrame, VideoFrame)));
    disconnect(m_synchronizationThread, SIGNAL(newSynchronizedFrames(VideoFrame, VideoFrame)), this,
               SLOT(onDisparityPreview(VideoFrame, VideoFrame)));
    disconnect(m_disparityMapThread,
               SIGNAL(newDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo)),
               this,
               SLOT(onNewDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo)));
    disconnect(m_disparityMapThread, SIGNAL(disparityMapFailed(QString)), this,
               SLOT(onDisparityMapFailed(QString)));
}

namespace {

// Hides a shown panel or shows a hidden one, with the icon of the new state
// on its button. Whether the panel is shown is its own state, not whether its
// tab is on screen. True when the panel was hidden.
bool togglePanel(QWidget* panel, QAbstractButton* button, const QStyle* style)
{
    const bool hide = !panel->isHidden();
    panel->setVisible(!hide);
    button->setIcon(style->standardIcon(hide ? QStyle::SP_DialogNoButton : QStyle::SP_DialogYesButton));
    return hide;
}

} // namespace

void MainWindow::on_btn_CalibrationDetailsShowHide_clicked()
{
    togglePanel(m_ui->frm_ProcessedView, m_ui->btn_CalibrationDetailsShowHide, style());
}

void MainWindow::on_btn_DisparityDetailsShowHide_clicked()
{
    adjustDisparityOutputStretch(
        togglePanel(m_ui->tab_DisparityDetails, m_ui->btn_DisparityDetailsShowHide, style()));
}

void MainWindow::on_btn_DisparityPreviewShowHide_clicked()
{
    adjustDisparityOutputStretch(
        togglePanel(m_ui->frm_DisparityLiveView, m_ui->btn_DisparityPreviewShowHide, style()));
}

void MainWindow::adjustDisparityOutputStretch(bool panelHidden)
{
    QSizePolicy policy = m_ui->frm_DisparityImgOutput->sizePolicy();
    policy.setVerticalStretch(std::clamp(policy.verticalStretch() + (panelHidden ? 1 : -1), 0, 255));
    m_ui->frm_DisparityImgOutput->setSizePolicy(policy);
}
