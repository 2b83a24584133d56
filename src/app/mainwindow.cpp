// The window's construction and destruction, the composition of its parts,
// the branch chosen by tab, the status bar, the menus and the error dialog.

#include "app/mainwindow.h"
#include "pipeline/logcategories.h"

#include "app/acquisitiontab.h"
#include "app/appnames.h"
#include "app/calibrationtab.h"
#include "app/capturecontrol.h"
#include "app/disparitytab.h"
#include "ui_mainwindow.h"
#include "version.h"

#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QResizeEvent>
#include <QStatusBar>
#include <opencv2/core/utility.hpp>
#include <qwt_global.h>

namespace {

const QString kLogoPath = QStringLiteral(":/resources/duoscope-512.png");

} // namespace

// The logo and the icon live in this static library; registering them here
// makes them available to every program that opens the window. Registering
// twice is harmless. Outside the unnamed namespace: the macro declares the
// registration function in the namespace it is used in.
static void registerWindowResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), m_ui(new Ui::MainWindow)
{
    registerWindowResources();

    m_ui->setupUi(this);
    setWindowTitle(kApplicationName);
    setWindowIcon(QIcon(QStringLiteral(":/resources/duoscope-camera-calibrator.png")));
    showMaximized();
    m_ui->mainToolBar->hide();
    // The logo labels scale the logo whenever they are resized.
    for (QLabel* logo : {m_ui->lbl_duoscopeLogo, m_ui->lbl_duoscopeLogo_2, m_ui->lbl_duoscopeLogo_3})
        logo->installEventFilter(this);

    m_pipeline = new FramePipeline(this);
    m_pipeline->setObjectName(QStringLiteral("framePipeline"));
    m_acquisition = std::make_unique<AcquisitionTab>(*m_ui, *m_pipeline, this);
    m_calibration = std::make_unique<CalibrationTab>(*m_ui, *m_pipeline, this);
    m_disparity = std::make_unique<DisparityTab>(
        *m_ui, *m_pipeline, [this](const QString& current) { return askForOutputDirectory(current); }, this);
    m_pipeline->setViews({m_acquisition.get(), m_calibration.get(), m_disparity.get()});
    m_capture = std::make_unique<CaptureControl>(*m_ui, *m_pipeline, this);

    // The boxes open over the window and return once closed.
    connect(m_capture.get(), &CaptureControl::errorOccurred, this, &MainWindow::onDisplayErrorMessage);
    connect(m_disparity.get(), &DisparityTab::errorOccurred, this, &MainWindow::onDisplayErrorMessage);
    connect(m_capture.get(), &CaptureControl::stopping, m_disparity.get(),
            &DisparityTab::switchLiveAnalysisOff);
    connect(m_capture.get(), &CaptureControl::startFailed, m_acquisition.get(),
            &AcquisitionTab::clearFrameInfo);
    connect(m_capture.get(), &CaptureControl::deviceStarted, m_acquisition.get(),
            &AcquisitionTab::awaitFirstFrame);
    connect(m_capture.get(), &CaptureControl::stopped, this, [this] {
        m_acquisition->clearLiveViews();
        m_acquisition->clearFrameInfo(true, true);
        m_calibration->clearCalibrationResults();
        m_disparity->clearLiveResults();
    });
    showDriverState(m_capture->startDiscovery(), DeckLinkDeviceDiscovery::driverMessages());
}

MainWindow::~MainWindow()
{
    m_capture->tearDown();
    // Every worker stops and joins its thread before the form and the frames
    // it may still be sending to go.
    delete m_pipeline;
    m_capture->releaseDevices();
    // The parts reach their widgets through the form: they go first.
    m_capture.reset();
    m_disparity.reset();
    m_calibration.reset();
    m_acquisition.reset();
    delete m_ui;
}

void MainWindow::onDisplayErrorMessage(const QString& title, const QString& message)
{
    qCDebug(lcWindow) << "onDisplayErrorMessage";
    QMessageBox::critical(this, title, message, QMessageBox::Ok, QMessageBox::NoButton);
}

FramePipeline::Branch MainWindow::branchOfPage(const QWidget* page) const
{
    using Branch = FramePipeline::Branch;
    if (page == m_ui->tabAcquisition)
        return Branch::LiveViews;
    if (page == m_ui->tabCalibration)
        return Branch::Calibration;
    if (page == m_ui->tabDepth)
        return Branch::Disparity;
    return Branch::None;
}

void MainWindow::on_tabWidget_currentChanged(int index)
{
    qCDebug(lcWindow) << "ON_TABWIDGET_CURRENTCHANGED";
    using Branch = FramePipeline::Branch;
    const Branch branch = branchOfPage(m_ui->tabWidget->widget(index));
    if (branch != Branch::Disparity)
        m_disparity->switchLiveAnalysisOff(); // live analysis belongs to the disparity tab
    // Results of an earlier visit are history; the tab shows the present.
    if (branch == Branch::Calibration)
        m_calibration->clearCalibrationResults();
    if (m_pipeline->isFed())
        m_pipeline->switchTo(branch);
}

QString MainWindow::askForOutputDirectory(const QString& current)
{
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Use directory"), current,
                                             QFileDialog::ShowDirsOnly);
}

void MainWindow::showDriverState(bool driverPresent, const QStringList& problems)
{
    // The status bar keeps the state for as long as the window is open; the
    // message box makes sure set-up problems are seen once.
    auto* state = new QLabel(m_ui->statusBar);
    state->setObjectName(QStringLiteral("lbl_DriverState"));
    state->setWordWrap(true);
    m_ui->statusBar->addWidget(state, 1);
    if (!problems.isEmpty()) {
        qCWarning(lcWindow).noquote() << "Capture driver:" << problems.join(QStringLiteral("; "));
        state->setText(QStringLiteral("Capture driver set-up problem: %1. Correct it and start the program "
                                      "again.")
                           .arg(problems.join(QStringLiteral("; "))));
        const QString message =
            QStringLiteral("The capture driver could not be set up as configured:\n\n%1\n\nCorrect the "
                           "set-up and start the program again; until then the cards concerned are not "
                           "listed.")
                .arg(problems.join(QLatin1Char('\n')));
        // Once the window is up, so that the box has the window behind it.
        QMetaObject::invokeMethod(
            this,
            [this, message] { onDisplayErrorMessage(QStringLiteral("Capture driver problem"), message); },
            Qt::QueuedConnection);
    } else if (!driverPresent) {
        const QString hint = QStringLiteral(
            "Please install the Blackmagic Desktop Video drivers to use the features of this application.");
        qCWarning(lcWindow).noquote() << hint;
        state->setText(QStringLiteral("No capture driver found. ") + hint);
    }
    state->setVisible(!state->text().isEmpty());
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
