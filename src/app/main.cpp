#include "app/appnames.h"
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Set before the application exists: the settings store is addressed by them.
    QApplication::setOrganizationName(kOrganizationName);
    QApplication::setApplicationName(kApplicationName);
    QApplication app(argc, argv);
    // Lets desktops match the window to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("duoscope-camera-calibrator"));

    MainWindow window;
    window.show();
    return app.exec();
}
