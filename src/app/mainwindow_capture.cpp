// Capture control: the input lists that follow the cards, the selected
// devices, and starting and stopping capture.

#include "mainwindow.h"

void MainWindow::onDeckLinkDeviceArrived(IDeckLink*) {}

void MainWindow::onDeckLinkDeviceRemoved(IDeckLink*) {}

void MainWindow::on_btn_StartCapture_clicked() {}

void MainWindow::on_cmb_SingleInput_currentIndexChanged(int) {}

void MainWindow::on_cmb_LeftCameraInput_currentIndexChanged(int) {}

void MainWindow::on_cmb_RightCameraInput_currentIndexChanged(int) {}
