// The routing of the pipeline by tab, the input layout and rotate and flip
// settings pushed into the preprocessing threads, and the panels of the
// calibration and disparity tabs that can be shown and hidden.

#include "mainwindow.h"

#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QStyle>

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

void MainWindow::on_tabWidget_currentChanged(int) {}

void MainWindow::on_btn_CalibrationDetailsShowHide_clicked() {}

void MainWindow::on_btn_DisparityDetailsShowHide_clicked() {}

void MainWindow::on_btn_DisparityPreviewShowHide_clicked() {}
