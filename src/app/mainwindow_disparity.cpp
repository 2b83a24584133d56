// The disparity analysis as the user drives it: the settings check, the
// output directory, the live pair and the results with their export.

#include "mainwindow.h"

void MainWindow::onDisparityPreview(VideoFrame, VideoFrame) {}

void MainWindow::on_btn_calcDisparityMap_clicked() {}

void MainWindow::on_btn_setDisparityOutputDir_clicked() {}
