// What the crew sees of its inputs, end to end on the virtual cards: set-up
// problems of the driver in the window, the display mode a capture starts in,
// inputs without signal, and the halves of a frame-compatible signal.

#include "common/modalanswerer.h"
#include "common/privatesettings.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QStatusBar>
#include <QTemporaryDir>

namespace {

constexpr int kWait = 30000; // generous for the sanitizer build

// Three cards alike, none detecting its input's format, each with a camera
// sending HD 1080p25 into it.
const char* const kThreeCardsWithoutDetection = R"(
cards:
  - { name: "Card A", formatDetection: false, source: { kind: bars } }
  - { name: "Card B", formatDetection: false, source: { kind: bars } }
  - { name: "Card C", formatDetection: false, source: { kind: bars } }
)";

// The live view shows the input's "No signal" text rather than a picture.
bool showsNoSignal(const WindowDriver& driver, const char* view)
{
    return driver.label(view).startsWith("No signal") && !driver.showsPicture(view);
}

bool isNumber(const QString& text)
{
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

} // namespace

class TestInputs : public WindowTestCase
{
    Q_OBJECT

private slots:
    // Replaces the shared one: the variable set by a test goes first.
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

    void theCaptureStartsInTheChosenDisplayMode()
    {
        WindowOnCards driver(kThreeCardsWithoutDetection);
        QVERIFY2(driver.ready(3), driver.problem());
        auto* modes = driver.widget<QComboBox>("cmb_SingleDisplayMode");
        driver.widget<QRadioButton>("rbn_SingleInput")->setChecked(true);
        driver.widget<QRadioButton>("radio_Identical")->setChecked(true);
        // Wherever a card sits in the list, it captures in the mode chosen:
        // its camera's mode gives pictures, another mode "No signal".
        for (int card = 0; card < 3; ++card) {
            driver.singleList()->setCurrentIndex(card);
            // Without detection there is nothing to follow: the card's modes only.
            QCOMPARE(modes->count(), 33);
            QVERIFY(!WindowDriver::entries(modes).contains("Auto-detect"));
            for (const QString mode : {"HD 1080p25", "HD 720p50"}) {
                modes->setCurrentIndex(modes->findText(mode));
                QCOMPARE(modes->currentText(), mode);
                driver.click();
                QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
                QVERIFY(!modes->isEnabled()); // locked with the other input controls
                if (mode == "HD 1080p25") {
                    QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
                    QTRY_COMPARE_WITH_TIMEOUT(driver.label("lbl_leftDisplayMode"), mode, kWait);
                    QVERIFY(isNumber(driver.label("lbl_leftTimecode").remove(':')));
                } else {
                    QTRY_VERIFY_WITH_TIMEOUT(showsNoSignal(driver, "lbl_ImageLiveLeft") &&
                                                 showsNoSignal(driver, "lbl_ImageLiveRight"),
                                             kWait);
                    QVERIFY2(driver.label("lbl_ImageLiveLeft").contains("HD 720p50"),
                             qPrintable(driver.label("lbl_ImageLiveLeft")));
                    QCOMPARE(driver.label("lbl_leftDisplayMode"), QStringLiteral("HD 720p50: no signal"));
                    QCOMPARE(driver.label("lbl_rightTimecode"), QStringLiteral("No signal"));
                }
                driver.click();
                QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
                QVERIFY(modes->isEnabled());
            }
        }
        QVERIFY2(driver.answerer.titles().isEmpty(), qPrintable(driver.answerer.texts().join("; ")));
    }

    void theRightCameraTakesTheSecondCard()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        // Straight after start-up, double mode starts without choosing anything.
        QCOMPARE(driver.leftList()->currentIndex(), 0);
        QCOMPARE(driver.rightList()->currentIndex(), 1);
        QCOMPARE(driver.singleList()->currentIndex(), 0);
        // Cards that detect their input's format offer it first, and take it.
        for (const char* modes : {"cmb_LeftDisplayMode", "cmb_RightDisplayMode", "cmb_SingleDisplayMode"}) {
            QCOMPARE(driver.widget<QComboBox>(modes)->itemText(0), QStringLiteral("Auto-detect"));
            QCOMPARE(driver.widget<QComboBox>(modes)->currentIndex(), 0);
        }
        // A sound set-up has no driver state to show.
        auto* state = driver.window.statusBar()->findChild<QLabel*>("lbl_DriverState");
        QVERIFY(state && state->isHidden());
        driver.widget<QRadioButton>("rbn_DoubleInput")->setChecked(true);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QVERIFY(driver.answerer.titles().isEmpty());
        // The two genlocked cards carry one timecode: in step, read from it.
        QTRY_COMPARE_WITH_TIMEOUT(driver.label("lbl_CameraSync"),
                                  QStringLiteral("Camera sync by timecode: in step"), kWait);
        driver.click();
        QTRY_COMPARE_WITH_TIMEOUT(driver.label("lbl_CameraSync"), QString(), kWait);
    }

    // A 3D camera's side-by-side signal carries both views squeezed to half
    // their width. Scaled back, they measure the rig as two cards do.
    void frameCompatibleHalvesMeasureTheRig()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        auto* fullSize = driver.widget<QCheckBox>("chb_FullSizeHalves");
        driver.widget<QRadioButton>("radio_Identical")->setChecked(true);
        QVERIFY(!fullSize->isEnabled());
        driver.chooseSingle(2);
        QVERIFY(fullSize->isEnabled());
        QVERIFY(fullSize->isChecked());
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.tabs()->setCurrentIndex(1);

        // The right camera is turned by 0.3 degrees and 2 pixels low: 8 in the
        // summed corners of each rectangle.
        QTRY_VERIFY_WITH_TIMEOUT(isNumber(driver.label("lbl_RotationTxt")) &&
                                     qAbs(driver.label("lbl_RotationTxt").toDouble() + 0.3) < 0.1,
                                 kWait);
        qInfo("indicators: zoom %s, rotation %s, y offset %s, x offset %s",
              qPrintable(driver.label("lbl_zoomTxt")), qPrintable(driver.label("lbl_RotationTxt")),
              qPrintable(driver.label("lbl_yOffsetTxt")), qPrintable(driver.label("lbl_xOffsetTxt")));
        QVERIFY2(qAbs(driver.label("lbl_yOffsetTxt").toInt() + 8) <= 2,
                 qPrintable(driver.label("lbl_yOffsetTxt")));
        QVERIFY(qAbs(driver.label("lbl_zoomTxt").toDouble()) > 0.01);
        QCOMPARE(driver.label("lbl_IndicatorsProblem"), QString());
        QVERIFY(driver.answerer.titles().isEmpty());
        driver.tabs()->setCurrentIndex(0);
        driver.click();
    }

    // Cut as they come, the squeezed halves hide the board from the
    // detector; the line under the indicators says so and what to do.
    void halvesAsCutSayWhyNothingIsMeasured()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseSingle(2);
        driver.widget<QCheckBox>("chb_FullSizeHalves")->setChecked(false);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.tabs()->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(
            driver.label("lbl_IndicatorsProblem"),
            QStringLiteral("Board not found in either picture. Hold the board square to "
                           "the cameras, filling a third to three quarters of the picture "
                           "height."),
            kWait);
        QCOMPARE(driver.label("lbl_RotationTxt"), QStringLiteral("UNDEFINED"));
        driver.tabs()->setCurrentIndex(0);
        driver.click();
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void aCameraWithoutSignalIsNamedUnderTheIndicators()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        QVERIFY(virtualcards::setSignal("Virtual Card 2 (Right)", 0)); // the right camera's cable is out
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(
            driver.showsPicture("lbl_ImageLiveLeft") && showsNoSignal(driver, "lbl_ImageLiveRight"), kWait);
        driver.tabs()->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(
            driver.label("lbl_IndicatorsProblem").startsWith("No signal on the right input"), kWait);
        QVERIFY(showsNoSignal(driver, "lbl_ImageProcessedRight"));
        QCOMPARE(driver.label("lbl_zoomTxt"), QStringLiteral("UNDEFINED"));
        driver.tabs()->setCurrentIndex(0);
        driver.click();
        QVERIFY(driver.answerer.titles().isEmpty());
    }
    // One card of two that does not start stops the other again: nothing
    // runs, the button offers a new start, and the failed side shows no rows
    // of an earlier capture.
    void aHalfStartedCaptureIsUndone_data()
    {
        QTest::addColumn<bool>("leftFails");
        QTest::newRow("left card fails") << true;
        QTest::newRow("right card fails") << false;
    }
    void aHalfStartedCaptureIsUndone()
    {
        QFETCH(bool, leftFails);
        WindowOnCards driver(R"(
cards:
  - { name: "Left", genlock: rig, source: { kind: bars } }
  - { name: "Right", genlock: rig, source: { kind: bars } }
  - { name: "Busy", faults: [startStreamsFails], source: { kind: bars } }
)");
        QVERIFY2(driver.ready(3), driver.problem());
        // A capture of the good pair first fills both sides' rows.
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled() && !driver.label("lbl_leftDisplayMode").isEmpty() &&
                                     !driver.label("lbl_rightDisplayMode").isEmpty(),
                                 kWait);
        driver.click();

        driver.chooseDouble(leftFails ? 2 : 0, leftFails ? 1 : 2);
        driver.click();
        const QString side = leftFails ? "Left" : "Right";
        QCOMPARE(driver.answerer.titles(), QStringList{side + " camera start capture error"});
        QVERIFY2(driver.answerer.texts().value(0).startsWith(
                     "Busy: This application was unable to start the capture."),
                 qPrintable(driver.answerer.texts().value(0)));
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        for (int card = 0; card < 3; ++card)
            QVERIFY(!WindowDriver::deviceAt(driver.leftList(), card)->IsCapturing());
        QVERIFY(driver.widget("grp_InputModeSelector")->isEnabled());
        QVERIFY(driver.widget("frm_DoubleInputCtrl")->isEnabled());
        const char* failedRows[] = {leftFails ? "lbl_leftDisplayMode" : "lbl_rightDisplayMode",
                                    leftFails ? "lbl_leftTimecode" : "lbl_rightTimecode",
                                    leftFails ? "lbl_leftPixelFormat" : "lbl_rightPixelFormat"};
        for (const char* row : failedRows)
            QCOMPARE(driver.label(row), QString());
        QCoreApplication::processEvents();
        QVERIFY(driver.liveViewsEmpty());

        // The good pair starts again at once.
        driver.chooseDouble(0, 1);
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.click();
        QCOMPARE(driver.answerer.titles().size(), 1);
    }

    // The calibration tab shows only the results of the present visit: its
    // views and indicators start empty, and the first result counts in full.
    void calibrationResultsStartAfreshOnEachVisit()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);

        auto cleared = [&] {
            for (const char* view : {"lbl_ImageProcessedLeft", "lbl_ImageProcessedRight", "lbl_ImageResult"})
                if (driver.showsPicture(view))
                    return false;
            for (const char* text : {"lbl_zoomTxt", "lbl_RotationTxt", "lbl_yOffsetTxt", "lbl_xOffsetTxt",
                                     "lbl_IndicatorsProblem"})
                if (!driver.label(text).isEmpty())
                    return false;
            return true;
        };
        for (int visit = 0; visit < 2; ++visit) {
            driver.tabs()->setCurrentIndex(1);
            QVERIFY2(cleared(), qPrintable(QString("visit %1").arg(visit)));
            // The right camera is turned by 0.3 degrees: the first result
            // shows that, not a third of it.
            QTRY_VERIFY_WITH_TIMEOUT(isNumber(driver.label("lbl_RotationTxt")), kWait);
            const double first = driver.label("lbl_RotationTxt").toDouble();
            QVERIFY2(qAbs(qAbs(first) - 0.3) < 0.1, qPrintable(driver.label("lbl_RotationTxt")));
            driver.tabs()->setCurrentIndex(0);
        }

        // A capture that ends while the tab is shown (here its right card is
        // pulled out) leaves no results standing either.
        driver.tabs()->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_ImageProcessedLeft"), kWait);
        QVERIFY(virtualcards::pull("Virtual Card 2 (Right)"));
        QTRY_COMPARE_WITH_TIMEOUT(driver.caption(), QStringLiteral("Start capture"), kWait);
        QVERIFY(cleared());
        QCoreApplication::processEvents();
        QVERIFY(cleared());
        QVERIFY(driver.answerer.titles().isEmpty());
    }
};

QTEST_MAIN(TestInputs)
#include "tst_inputs.moc"
