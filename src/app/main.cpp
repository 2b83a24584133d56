#include "app/appnames.h"
#include "app/filewrite.h"
#include "app/inputlisting.h"
#include "app/mainwindow.h"
#include "pipeline/heapsettings.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <decklink/drivers.h>
#include <unistd.h>

namespace {

const QCommandLineOption
    listInputsOption(QStringLiteral("list-inputs"),
                     QStringLiteral("Prints every input (card) with its display modes and exits."));
const QCommandLineOption noVirtualOption(
    QStringLiteral("no-virtual-cards"),
    QStringLiteral(
        "Hides the virtual cards, leaving the real inputs (as DUOSCOPE_VIRTUAL_CARDS=none does)."));

void describeCommandLine(QCommandLineParser& parser)
{
    // Beside the program's folder, wherever it is installed (the package: /usr/share/doc/...).
    const QString guide = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/../share/doc/duoscope-camera-calibrator"));
    parser.setApplicationDescription(
        QStringLiteral("Aligns the two cameras of a stereoscopic rig and checks the depth of a shot.\n\n"
                       "The guide to every tab and file: %1/README.md\n"
                       "The card configuration (pipeline, network and virtual cards): %1/docs/cards.md\n"
                       "The manual page: man duoscope-camera-calibrator")
            .arg(guide));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(listInputsOption);
    parser.addOption(noVirtualOption);
}

// Help, version and the list of inputs are answered on the terminal, so they
// must work where no display can be opened (over ssh, in a script, in a bug
// report): they get an application without a screen. Anything else on the
// command line waits for the window's.
bool asksOnlyForAnAnswer(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version", "--list-inputs"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

// Prints the inputs; a list that cannot be written in full (a full disk, a
// file-size limit) is said on the error output and fails.
int printInputs()
{
    if (writeAllBytes(STDOUT_FILENO, listInputs().toUtf8()))
        return 0;
    std::fprintf(stderr, "%s: cannot print the list of inputs: %s\n",
                 qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(writeErrorText(errno)));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    keepPicturesInHeap();
    // A file that reaches the file-size limit (ulimit -f) fails its write,
    // which the program reports, instead of killing the program with SIGXFSZ
    // and leaving the file half written.
    std::signal(SIGXFSZ, SIG_IGN);
    // Set before the application exists: the settings store is addressed by them.
    QApplication::setOrganizationName(kOrganizationName);
    QApplication::setApplicationName(kApplicationName);
    QApplication::setApplicationVersion(QString::fromLatin1(kDuoscopeVersion));

    if (asksOnlyForAnAnswer(argc, argv)) {
        QCoreApplication terminal(argc, argv);
        QCommandLineParser parser;
        describeCommandLine(parser);
        // A line that also holds the window's own options (-platform, -style)
        // does not parse here and goes on to the full application below.
        if (parser.parse(terminal.arguments())) {
            parser.process(terminal);
            if (parser.isSet(noVirtualOption))
                decklinkdrivers::setVirtualCardsShown(false);
            if (parser.isSet(listInputsOption))
                return printInputs();
        }
    }

    QApplication app(argc, argv);
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s: unexpected argument '%s' (see --help)\n",
                     qUtf8Printable(QCoreApplication::applicationName()),
                     qUtf8Printable(parser.positionalArguments().first()));
        return 1;
    }
    if (parser.isSet(noVirtualOption))
        decklinkdrivers::setVirtualCardsShown(false);
    if (parser.isSet(listInputsOption))
        return printInputs();
    // Lets desktops match the window to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("duoscope-camera-calibrator"));
    MainWindow window;
    window.show();
    return app.exec();
}
