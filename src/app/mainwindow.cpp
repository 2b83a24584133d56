// The window's construction and destruction, and its error dialog.

#include "app/mainwindow.h"

#include "app/appnames.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>

// The logo and the icon live in this static library; registering them here
// makes them available to every program that opens the window. Registering
// twice is harmless.
static void registerWindowResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), m_ui(new Ui::MainWindow)
{
    registerWindowResources();
    // Frames cross threads through queued connections made by signature string.
    qRegisterMetaType<VideoFrame>("VideoFrame");

    m_ui->setupUi(this);
    setWindowTitle(kApplicationName);
    setWindowIcon(QIcon(QStringLiteral(":/resources/duoscope-camera-calibrator.png")));
    showMaximized();
    m_ui->mainToolBar->hide();

    setUpLogos();
    setUpPipeline();
    setUpCapture();

    // The form keeps two labels for the board's angles; the window never shows them.
    m_ui->lbl_AngleLeft->hide();
    m_ui->lbl_AngleRight->hide();
    // The readout starts empty, the orientation warning hidden.
    clearAlignment();

    QSettings settings(kOrganizationName, kApplicationName);
    m_ui->lineEdit_disparityOutputDir->setText(
        settings.value(kDisparityOutputDirKey, QDir::homePath()).toString());
}

MainWindow::~MainWindow()
{
    tearDownCapture();
    // Each worker stops and joins its thread when deleted, before the form
    // and the frames it may still be sending to go.
    for (WorkerThread* worker : std::initializer_list<WorkerThread*>{
             m_leftPreprocessingThread, m_rightPreprocessingThread, m_leftCalibrationThread,
             m_rightCalibrationThread, m_synchronizationThread, m_disparityMapThread})
        delete worker;
    releaseDevices();
    delete m_ui;
}

void MainWindow::onDisplayErrorMessage(const QString& title, const QString& message)
{
    qDebug() << "onDisplayErrorMessage";
    QMessageBox::critical(this, title, message, QMessageBox::Ok, QMessageBox::NoButton);
}
