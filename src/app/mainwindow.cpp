// The window's construction and destruction, and its error dialog.

#include "app/mainwindow.h"
#include "pipeline/logcategories.h"

#include "app/appnames.h"
#include "ui_mainwindow.h"
#include "version.h"

#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>
#include <opencv2/core/utility.hpp>
#include <qwt_global.h>

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

    m_ui->setupUi(this);
    m_sceneReadout = new SceneReadout(m_ui->gridLayout_Alignment, this);
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
    setUpDisparity();
}

MainWindow::~MainWindow()
{
    tearDownCapture();
    // Every worker stops and joins its thread before the form and the frames
    // it may still be sending to go.
    delete m_pipeline;
    releaseDevices();
    delete m_ui;
}

void MainWindow::onDisplayErrorMessage(const QString& title, const QString& message)
{
    qCDebug(lcWindow) << "onDisplayErrorMessage";
    QMessageBox::critical(this, title, message, QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::on_actionQuit_triggered()
{
    // Closing the window stops capture and the workers as the title bar's button does.
    close();
}

void MainWindow::on_actionAbout_triggered()
{
    // The library versions are the ones a bug report needs: Qt and OpenCV as loaded, Qwt as built.
    QMessageBox::about(
        this, tr("About %1").arg(kApplicationName),
        tr("<h3>%1</h3><p>Version %2</p>"
           "<p>Aligns the two cameras of a stereoscopic rig and checks the depth of a shot.</p>"
           "<p>%3</p><p>Qt %4, OpenCV %5, Qwt %6</p>")
            .arg(QString(kApplicationName), QString(kDuoscopeVersion), QString(kOrganizationName),
                 QString(qVersion()), QString::fromStdString(cv::getVersionString()),
                 QString(QWT_VERSION_STR)));
}
