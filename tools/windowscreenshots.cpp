// Takes a screenshot of the window on each of its three tabs, as the screen
// shows it: duoscope-window-screenshots <directory>. Run it on a display of
// the wanted size (scripts/screenshots.sh uses virtual ones of 1280 x 720,
// 1366 x 768 and 1920 x 1080); the files are named after the tab and the
// screen's size, e.g. calibration-1280x720.png.
// Capture runs on the first two cards in double mode (the built-in virtual
// rig unless DUOSCOPE_VIRTUAL_CARDS says otherwise), and the disparity tab
// shows one analysis, not saved. The settings store is a private, empty one,
// so the user's settings are neither shown nor changed.

#include "app/appnames.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLoggingCategory>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// Lets the window lay itself out and paint.
void settle(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication::setOrganizationName(kOrganizationName);
    QApplication::setApplicationName(kApplicationName);
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: duoscope-window-screenshots <directory>\n";
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!directory.exists() && !QDir().mkpath(directory.path())) {
        err << "cannot create " << directory.path() << "\n";
        return 1;
    }
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    MainWindow window;
    window.show();
    settle(300);
    // Without a window manager nobody maximizes the window: fill the screen ourselves.
    QScreen* screen = window.screen();
    if (window.frameGeometry() != screen->availableGeometry())
        window.setGeometry(screen->availableGeometry());

    auto* left = window.findChild<QComboBox*>(QStringLiteral("cmb_LeftCameraInput"));
    auto* right = window.findChild<QComboBox*>(QStringLiteral("cmb_RightCameraInput"));
    QElapsedTimer waiting;
    waiting.start();
    while (left->count() < 2 && waiting.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (left->count() < 2) {
        err << "two capture cards are needed, found " << left->count() << "\n";
        return 1;
    }
    window.findChild<QRadioButton*>(QStringLiteral("rbn_DoubleInput"))->setChecked(true);
    left->setCurrentIndex(0);
    right->setCurrentIndex(1);
    window.findChild<QPushButton*>(QStringLiteral("btn_StartCapture"))->click();
    if (auto* save = window.findChild<QGroupBox*>(QStringLiteral("grp_SaveResults"));
        save && save->isCheckable())
        save->setChecked(false);

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    const QString size =
        QStringLiteral("-%1x%2.png").arg(screen->size().width()).arg(screen->size().height());
    const char* const names[] = {"acquisition", "calibration", "disparity"};
    const char* const firstPictures[] = {"lbl_ImageLiveRight", "lbl_ImageResult",
                                         "lbl_DisparityLivePreviewLeft"};
    for (int index = 0; index < 3; ++index) {
        tabs->setCurrentIndex(index);
        // The tab's first picture; a busy machine takes longer.
        const auto* shown = window.findChild<QLabel*>(QString::fromLatin1(firstPictures[index]));
        for (int waited = 0; shown->pixmap(Qt::ReturnByValue).isNull() && waited < 60000; waited += 250)
            settle(250);
        settle(1500);
        if (index == 2) {
            auto* analyze = window.findChild<QPushButton*>(QStringLiteral("btn_calcDisparityMap"));
            analyze->click();
            // The button comes back with the result; a busy machine takes longer.
            for (int waited = 0; !analyze->isEnabled() && waited < 60000; waited += 250)
                settle(250);
            settle(500);
        }
        const QString path = directory.filePath(QString::fromLatin1(names[index]) + size);
        if (!screen->grabWindow(0).save(path)) {
            err << "cannot write " << path << "\n";
            return 1;
        }
        err << "wrote " << path << "\n";
    }
    // The same analysis with its histogram, legend and depth budget.
    if (auto* details = window.findChild<QTabWidget*>(QStringLiteral("tab_DisparityDetails"))) {
        details->setCurrentIndex(1);
        settle(500);
        const QString path = directory.filePath(QStringLiteral("disparity-budget") + size);
        if (!screen->grabWindow(0).save(path)) {
            err << "cannot write " << path << "\n";
            return 1;
        }
        err << "wrote " << path << "\n";
    }
    window.findChild<QPushButton*>(QStringLiteral("btn_StartCapture"))->click();
    return 0;
}
