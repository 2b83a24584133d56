// The program's command line: --help, --version, --list-inputs with the
// composed driver (real and virtual cards), --no-virtual-cards. Runs the
// built program, as a crew member at a terminal does.

#include "common/programrun.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

ProgramResult run(const QStringList& arguments, const QString& cards)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY"); // printing needs no window system
    environment.remove("QT_QPA_PLATFORM");
    if (cards.isNull())
        environment.remove("DUOSCOPE_VIRTUAL_CARDS");
    else
        environment.insert("DUOSCOPE_VIRTUAL_CARDS", cards);
    process.setProcessEnvironment(environment);
    return runProgram(process, QStringLiteral(DUOSCOPE_PROGRAM), arguments, 30000);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile file(m_dir.filePath("cards.yaml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("cards:\n"
                   "  - { name: \"Bars\", modes: [Hp25], source: { kind: bars } }\n"
                   "  - { name: \"Test camera\", modes: [Hp25, hp50],\n"
                   "      source: { kind: pipeline, description: \"videotestsrc ! timecodestamper\" } }\n");
        file.close();
        QFile refused(m_dir.filePath("refused.yaml"));
        QVERIFY(refused.open(QIODevice::WriteOnly));
        refused.write("cards:\n"
                      "  - { name: \"Bars\", source: { kind: bars } }\n"
                      "  - { name: \"Recorder\", source: { kind: pipeline, description: \"videotestsrc ! "
                      "filesink location=/dev/null\" } }\n");
        refused.close();
        QFile broken(m_dir.filePath("broken.yaml"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("cards:\n  - { name: \"Bars\", source: { kind: barz } }\n");
    }

    void printsAndExits_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("cards");
        QTest::addColumn<QStringList>("expectedLines");
        QTest::addColumn<QStringList>("absentLines");

        const QString cards = m_dir.filePath("cards.yaml");
        QTest::newRow("version") << QStringList{"--version"} << QString()
                                 << QStringList{QStringLiteral(
                                        "Duoscope Camera Calibrator " DUOSCOPE_VERSION)}
                                 << QStringList{};
        QTest::newRow("help")
            << QStringList{"--help"} << QString()
            << QStringList{"  --list-inputs       Prints every input (card) with its display modes and",
                           "  --no-virtual-cards  Hides the virtual cards, leaving the real inputs (as",
                           "The manual page: man duoscope-camera-calibrator"}
            << QStringList{};
        QTest::newRow("built-in virtual cards")
            << QStringList{"--list-inputs"} << QString()
            << QStringList{"Inputs (3):", "  Virtual Card 1 (Left)", "  Virtual Card 3 (Side by Side)",
                           "    HD 1080p25      1920 x 1080 pixels  25.00 frames/s    code 'Hp25'"}
            << QStringList{"Problems:"};
        QTest::newRow("real and virtual cards")
            << QStringList{"--list-inputs"} << cards
            << QStringList{"Inputs (2):", "  Test camera",
                           "    HD 720p50       1280 x 720 pixels   50.00 frames/s    code 'hp50'",
                           "  Bars (virtual)"}
            << QStringList{};
        QTest::newRow("virtual cards hidden by the option")
            << QStringList{"--list-inputs", "--no-virtual-cards"} << cards
            << QStringList{"Inputs (1):", "  Test camera"} << QStringList{"  Bars (virtual)"};
        QTest::newRow("virtual cards hidden by the environment")
            << QStringList{"--list-inputs"} << "none" << QStringList{"No inputs found."}
            << QStringList{"  Virtual Card 1 (Left)"};
        // Not listed, as the window's start-up message says of such cards; the problem says why.
        QTest::newRow("a pipeline card whose description fails the check")
            << QStringList{"--list-inputs"} << m_dir.filePath("refused.yaml")
            << QStringList{"Inputs (1):", "  Bars (virtual)", "Problems:"} << QStringList{"  Recorder"};
        QTest::newRow("a configuration that cannot be used")
            << QStringList{"--list-inputs"} << m_dir.filePath("broken.yaml")
            << QStringList{"No inputs found.", "Problems:"} << QStringList{};
    }
    void printsAndExits()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, cards);
        QFETCH(QStringList, expectedLines);
        QFETCH(QStringList, absentLines);
        const ProgramResult result = run(arguments, cards);
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.out.split('\n');
        for (const QString& line : expectedLines)
            QVERIFY2(lines.contains(line), qPrintable(line + " not in:\n" + result.out + result.err));
        for (const QString& line : absentLines)
            QVERIFY2(!lines.contains(line), qPrintable(line + " in:\n" + result.out));
    }

    // The list sent to a file that may not grow (ulimit -f 0, as on a full
    // disk): the program is not killed by the signal the limit raises, and
    // says why nothing was written.
    void aFileSizeLimitIsAFailedWriteNotADeath()
    {
        QProcess shell;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        shell.setProcessEnvironment(environment);
        shell.start("/bin/sh", {"-c", "ulimit -f 0; exec \"$0\" --list-inputs > \"$1\"",
                                QStringLiteral(DUOSCOPE_PROGRAM), m_dir.filePath("list.txt")});
        QVERIFY(shell.waitForFinished(30000));
        const QString err = QString::fromUtf8(shell.readAllStandardError());
        QCOMPARE(shell.exitStatus(), QProcess::NormalExit);
        // 153 is the shell's code for a program killed by SIGXFSZ.
        QVERIFY2(shell.exitCode() == 1, qPrintable(QString::number(shell.exitCode()) + ": " + err));
        QVERIFY2(err.contains("cannot print the list of inputs: the file is too large"), qPrintable(err));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
