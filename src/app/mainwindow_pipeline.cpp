// The routing of the pipeline by tab, the input layout and rotate and flip
// settings pushed into the preprocessing threads, and the panels of the
// calibration and disparity tabs that can be shown and hidden.

#include "mainwindow.h"

void MainWindow::reloadImageProcessingSettings() {}

void MainWindow::on_tabWidget_currentChanged(int) {}

void MainWindow::on_btn_CalibrationDetailsShowHide_clicked() {}

void MainWindow::on_btn_DisparityDetailsShowHide_clicked() {}

void MainWindow::on_btn_DisparityPreviewShowHide_clicked() {}
