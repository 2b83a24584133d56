// Takes a screenshot of the window on each of its three tabs, as the screen
// shows it: duoscope-window-screenshots <directory>. Run it on a display of
// the wanted size (scripts/screenshots.sh uses a virtual 1920 x 1080 one).
// The settings store is a private, empty one, so the user's settings are
// neither shown nor changed.

#include "appnames.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
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

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    const char* const names[] = {"acquisition.png", "calibration.png", "disparity.png"};
    for (int index = 0; index < 3; ++index) {
        tabs->setCurrentIndex(index);
        settle(700);
        const QString path = directory.filePath(QString::fromLatin1(names[index]));
        if (!screen->grabWindow(0).save(path)) {
            err << "cannot write " << path << "\n";
            return 1;
        }
        err << "wrote " << path << "\n";
    }
    return 0;
}
