// What the crew sees of its inputs, end to end on the virtual cards: set-up
// problems of the driver in the window, the display mode a capture starts in,
// inputs without signal, and the halves of a frame-compatible signal.

#include "../app/modalanswerer.h"
#include "../app/privatesettings.h"
#include "windowdriver.h"

#include <QStatusBar>
#include <QTemporaryDir>

namespace {

constexpr int kWait = 30000; // generous for the sanitizer build

} // namespace

class TestInputs : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

    void configure(const char* text)
    {
        std::string error;
        QVERIFY2(virtualcards::configure(text, &error), error.c_str());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        silenceFrameLog();
    }

    void cleanup()
    {
        qunsetenv("DUOSCOPE_VIRTUAL_CARDS");
        verifyEveryCardReleased();
    }

    void setUpProblemsAreShownInTheWindow_data()
    {
        QTest::addColumn<QString>("content"); // of the file; "none": no driver at all
        QTest::addColumn<QStringList>("fragments");
        QTest::newRow("bad syntax") << "cards: [ { name: A"
                                    << QStringList{"cards.yaml", "not valid YAML or JSON"};
        QTest::newRow("unknown key") << "cards:\n  - { name: A, colour: red, source: { kind: bars } }\n"
                                     << QStringList{"cards.yaml: cards[0].colour: unknown key"};
        QTest::newRow("missing image")
            << "cards:\n  - { name: A, source: { kind: image, file: missing.png } }\n"
            << QStringList{"cards.yaml: cards[0].source.file", "no such file", "missing.png"};
        QTest::newRow("no driver") << "none" << QStringList();
    }
    void setUpProblemsAreShownInTheWindow()
    {
        QFETCH(QString, content);
        QFETCH(QStringList, fragments);
        QTemporaryDir directory;
        const QString file = directory.filePath("cards.yaml");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content.toUtf8());
        out.close();
        qputenv("DUOSCOPE_VIRTUAL_CARDS", content == "none" ? QByteArray("none") : file.toUtf8());
        QVERIFY(!virtualcards::reload());

        ModalAnswerer answerer;
        MainWindow window;
        WindowDriver driver(window);
        const QString installHint = "install the Blackmagic Desktop Video drivers";
        auto* state = window.statusBar()->findChild<QLabel*>("lbl_DriverState");
        QVERIFY(state);
        if (fragments.isEmpty()) {
            // Nothing to correct: the only way forward is the driver.
            QVERIFY2(state->text().contains(installHint), qPrintable(state->text()));
            QCoreApplication::processEvents();
            QVERIFY(answerer.titles().isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(answerer.titles(), QStringList{"Capture driver problem"}, kWait);
            for (const QString& text : {answerer.texts().value(0), state->text()}) {
                for (const QString& fragment : fragments)
                    QVERIFY2(text.contains(fragment), qPrintable(text));
                QVERIFY2(!text.contains(installHint), qPrintable(text));
            }
        }
        QVERIFY(!state->isHidden());
        QCOMPARE(driver.leftList()->count(), 0);
        QVERIFY(!driver.startButton()->isEnabled());
    }

    void aSoundSetUpShowsNoDriverState()
    {
        configure(virtualcards::defaultConfiguration());
        ModalAnswerer answerer;
        MainWindow window;
        WindowDriver driver(window);
        QVERIFY(waitForCards(driver, 3));
        auto* state = window.statusBar()->findChild<QLabel*>("lbl_DriverState");
        QVERIFY(state && state->isHidden());
        QVERIFY(answerer.titles().isEmpty());
    }
};

QTEST_MAIN(TestInputs)
#include "tst_inputs.moc"
