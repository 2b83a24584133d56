#include "appnames.h"
#include "inputlisting.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>
#include <decklink/drivers.h>
#include <memory>

int main(int argc, char* argv[])
{
    // Set before the application exists: the settings store is addressed by them.
    QApplication::setOrganizationName(kOrganizationName);
    QApplication::setApplicationName(kApplicationName);
    QApplication::setApplicationVersion(QStringLiteral(DUOSCOPE_VERSION));

    // Options that only print need no window system (a terminal on set, a bug report over ssh).
    bool printsOnly = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        printsOnly = printsOnly || argument == "--list-inputs" || argument == "--help" || argument == "-h" ||
                     argument == "--help-all" || argument == "--version" || argument == "-v";
    }
    std::unique_ptr<QCoreApplication> app(printsOnly ? new QCoreApplication(argc, argv)
                                                     : new QApplication(argc, argv));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Aligns the two cameras of a stereoscopic rig and checks depth, live from capture cards."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listInputsOption(
        QStringLiteral("list-inputs"),
        QStringLiteral("Prints every input (card) with its display modes and exits."));
    const QCommandLineOption noVirtualOption(
        QStringLiteral("no-virtual-cards"),
        QStringLiteral(
            "Hides the virtual cards, leaving the real inputs (as DUOSCOPE_VIRTUAL_CARDS=none does)."));
    parser.addOption(listInputsOption);
    parser.addOption(noVirtualOption);
    parser.process(*app);

    if (parser.isSet(noVirtualOption))
        decklinkdrivers::setVirtualCardsShown(false);
    if (parser.isSet(listInputsOption)) {
        QTextStream(stdout) << listInputs();
        return 0;
    }

    // Lets desktops match the window to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("duoscope-camera-calibrator"));
    MainWindow window;
    window.show();
    return app->exec();
}
