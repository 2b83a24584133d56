// The disparity analysis as the user drives it: the settings check, the
// output directory, the live pair and the results with their export.

#include "app/mainwindow.h"

#include "app/appnames.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <opencv2/imgcodecs.hpp>
#include <utility>
#include <vector>

namespace {

// What is wrong with the analysis settings, checked in the order the user
// reads them; empty when the matcher can work with them.
QString disparitySettingsProblem(int minDisparity, int maxDisparity, int blockSize)
{
    if ((minDisparity & 15) != 0)
        return QStringLiteral("Wrong value of minimum disparity\nShould be divisible by 16");
    if ((maxDisparity & 15) != 0)
        return QStringLiteral("Wrong value of maximum disparity\nShould be divisible by 16");
    if (blockSize % 2 == 0)
        return QStringLiteral("Wrong value of block size\nShould be an odd number");
    // The matcher searches the disparities from the minimum up to the maximum.
    if (maxDisparity <= minDisparity)
        return QStringLiteral(
            "Wrong value of maximum disparity\nShould be greater than the minimum disparity");
    return QString();
}

// "ds_camera_calibrator_hhh_mm_ss_ff" + suffix, from the frame's time label.
QString resultFileName(const VideoFrame& frame, const char* suffix)
{
    QString name = QStringLiteral("ds_camera_calibrator_") + formatTimeWord(timeLabel(frame)) + suffix;
    return name.replace(QLatin1Char(':'), QLatin1Char('_'));
}

bool writePng(const QString& path, const cv::Mat& image)
{
    // Without compression: the files are read back for measurements.
    const std::vector<int> parameters{cv::IMWRITE_PNG_COMPRESSION, 0};
    try {
        return cv::imwrite(path.toUtf8().constData(), image, parameters);
    } catch (const cv::Exception& error) {
        // An empty picture, or one the encoder refuses.
        qDebug() << "writePng -" << path << error.what();
        return false;
    }
}

} // namespace

void MainWindow::on_btn_calcDisparityMap_clicked()
{
    const double parallaxNear = m_ui->box_ParallaxNear->value();
    const double parallaxScreen = m_ui->box_ParallaxScreen->value();
    const double parallaxFar = m_ui->box_ParallaxFar->value();
    const bool outputColored = m_ui->chb_OutputColored->isChecked();
    const int minDisparity = m_ui->box_MinDisparity->value();
    const int maxDisparity = m_ui->box_MaxDisparity->value();
    const int blockSize = m_ui->box_BlockSize->value();

    const QString problem = disparitySettingsProblem(minDisparity, maxDisparity, blockSize);
    if (!problem.isEmpty()) {
        onDisplayErrorMessage(QStringLiteral("Wrong settings"), problem);
        return;
    }
    m_pipeline->disparityMap()->calculate(minDisparity, maxDisparity, blockSize, outputColored, parallaxNear,
                                          parallaxScreen, parallaxFar);
    // One analysis at a time: the button comes back with its result or failure.
    m_ui->btn_calcDisparityMap->setEnabled(false);
}

QString MainWindow::askForOutputDirectory(const QString& current)
{
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Use directory"), current,
                                             QFileDialog::ShowDirsOnly);
}

void MainWindow::on_btn_setDisparityOutputDir_clicked()
{
    const QString chosen =
        QDir::fromNativeSeparators(askForOutputDirectory(m_ui->lineEdit_disparityOutputDir->text()));
    if (chosen.isEmpty())
        return; // cancelled
    QSettings(kOrganizationName, kApplicationName).setValue(kDisparityOutputDirKey, chosen);
    m_ui->lineEdit_disparityOutputDir->setText(chosen);
}

void MainWindow::onDisparityPreview(VideoFrame leftFrame, VideoFrame rightFrame)
{
    qDebug() << "onDisparityPreview - leftFrame.data =" << static_cast<const void*>(leftFrame.image.data)
             << "rightFrame.data =" << static_cast<const void*>(rightFrame.image.data);
    showImage(leftFrame.image, m_ui->lbl_DisparityLivePreviewLeft);
    showImage(rightFrame.image, m_ui->lbl_DisparityLivePreviewRight);
}

void MainWindow::onNewDisparityMapResults(VideoFrame leftRawFrame, VideoFrame rightRawFrame,
                                          VideoFrame disparityMap, DisparityHistogramInfo disparity_histogram)
{
    qDebug() << "onNewDisparityMapResults - disparityMap.data ="
             << static_cast<const void*>(disparityMap.image.data);
    showImage(leftRawFrame.image, m_ui->lbl_DisparityInputImgL);
    showImage(rightRawFrame.image, m_ui->lbl_DisparityInputImgR);
    showImage(disparityMap.image, m_ui->lbl_DisparityMapResult);
    m_ui->wgt_DisparityHistogram->setHistogram(std::move(disparity_histogram));
    if (m_ui->grp_SaveResults->isChecked())
        saveDisparityResults(leftRawFrame, rightRawFrame, disparityMap);
    m_ui->btn_calcDisparityMap->setEnabled(true);
}

void MainWindow::onDisparityMapFailed(QString reason)
{
    onDisplayErrorMessage(QStringLiteral("Disparity analysis error"), reason);
    m_ui->btn_calcDisparityMap->setEnabled(true);
}

void MainWindow::saveDisparityResults(const VideoFrame& leftRawFrame, const VideoFrame& rightRawFrame,
                                      const VideoFrame& disparityMap)
{
    // The directory is taken as typed; a missing one shows as write errors.
    const QString directory = m_ui->lineEdit_disparityOutputDir->text();
    const std::pair<const VideoFrame*, const char*> files[] = {
        {&leftRawFrame, "_L.png"}, {&rightRawFrame, "_R.png"}, {&disparityMap, "_map.png"}};
    for (const auto& [frame, suffix] : files) {
        if (!writePng(directory + QLatin1Char('/') + resultFileName(*frame, suffix), frame->image))
            onDisplayErrorMessage(QStringLiteral("Write error"),
                                  QStringLiteral("Cannot write results of disparity analysis"));
    }
}
