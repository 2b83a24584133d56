// Capture from end to end on the virtual cards: the real window lists the
// cards, starts and stops capture in both modes, shows the frames and their
// format, and survives every way a card can fail or go away.

#include "common/messagelog.h"
#include "common/modalanswerer.h"
#include "windowdriver.h"

#include <thread>

namespace {

constexpr int kWait = 20000; // generous for the sanitizer build

const char* const kTwoCards = R"(
cards:
  - { name: "Left", genlock: rig, source: { kind: rig, view: left } }
  - { name: "Right", genlock: rig, source: { kind: rig, view: right } }
)";

} // namespace

class TestCapture : public WindowTestCase
{
    Q_OBJECT

private slots:
    void defaultCardsAreListedInAllThreeLists()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        const QStringList expected{"Virtual Card 1 (Left)", "Virtual Card 2 (Right)",
                                   "Virtual Card 3 (Side by Side)"};
        for (QComboBox* list : {driver.leftList(), driver.rightList(), driver.singleList()})
            QCOMPARE(WindowDriver::entries(list), expected);
        // The first card became the selection; the right camera took the
        // second, so that a rig of two cards starts as it is.
        QCOMPARE(driver.leftList()->currentIndex(), 0);
        QCOMPARE(driver.rightList()->currentIndex(), 1);
        QCOMPARE(driver.singleList()->currentIndex(), 0);
        QVERIFY(driver.startButton()->isEnabled());
        QVERIFY(driver.widget("grp_InputModeSelector")->isEnabled());
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void aCardThatCannotFollowItsInputStopsCaptureAndSaysWhy()
    {
        WindowOnCards driver(kTwoCards);
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        // What the right card's device says, from the driver's thread, when the
        // card cannot restart in its input's new format.
        DeckLinkDevice* right = WindowDriver::deviceAt(driver.rightList(), 1);
        const QString reason = QStringLiteral("Right: the input changed to HD 1080i50 and the card could not "
                                              "restart in it, so capture has stopped.");
        std::thread([right, reason] { emit right->notifier()->captureStopped(reason); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(driver.answerer.titles().size(), 1, kWait);
        QCOMPARE(driver.answerer.titles().first(), QStringLiteral("Capture stopped"));
        QCOMPARE(driver.answerer.texts().first(), reason);
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(!right->IsCapturing());
        QVERIFY(!WindowDriver::deviceAt(driver.leftList(), 0)->IsCapturing());
    }

    void captureFillsTheLiveViews_data()
    {
        QTest::addColumn<bool>("single");
        QTest::newRow("single, side by side card") << true;
        QTest::newRow("double, left and right cards") << false;
    }
    void captureFillsTheLiveViews()
    {
        QFETCH(bool, single);
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        if (single)
            driver.chooseSingle(2);
        else
            driver.chooseDouble(0, 1);

        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QVERIFY(!driver.widget("grp_InputModeSelector")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        for (const char* side : {"left", "right"}) {
            const QByteArray prefix = QByteArray("lbl_") + side;
            QTRY_COMPARE_WITH_TIMEOUT(driver.label(prefix + "DisplayMode"), QStringLiteral("HD 1080p25"),
                                      kWait);
            QCOMPARE(driver.label(prefix + "TimecodeFormat"), QStringLiteral("RP188 LTC"));
            const QString timecode = driver.label(prefix + "Timecode");
            QVERIFY2(QRegularExpression("^\\d{3}:\\d\\d:\\d\\d:\\d\\d$").match(timecode).hasMatch(),
                     qPrintable(timecode));
            // The timecode runs on with the frames.
            QTRY_VERIFY_WITH_TIMEOUT(driver.label(prefix + "Timecode") > timecode, kWait);
        }

        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(driver.liveViewsEmpty());
        QVERIFY(driver.widget("grp_InputModeSelector")->isEnabled());
        for (QComboBox* list : {driver.leftList(), driver.singleList()})
            for (int i = 0; i < list->count(); ++i)
                QVERIFY(!WindowDriver::deviceAt(list, i)->IsCapturing());
        // No frame already on its way fills the views again.
        QCoreApplication::processEvents();
        QVERIFY(driver.liveViewsEmpty());
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void withoutTheDriverNothingCanStart()
    {
        configureCards("none");
        QLoggingCategory::setFilterRules(QString());
        MessageLog log;
        ModalAnswerer answerer;
        {
            MainWindow window;
            WindowDriver driver(window);
            QCoreApplication::processEvents();
            for (QComboBox* list : {driver.leftList(), driver.rightList(), driver.singleList()})
                QCOMPARE(list->count(), 0);
            QVERIFY(!driver.startButton()->isEnabled());
            QVERIFY(!driver.widget("grp_InputModeSelector")->isEnabled());
            QVERIFY(!driver.widget("frm_SingleInputCtrl")->isEnabled());
            driver.click();
            QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        }
        silenceFrameLog();
        QCOMPARE(log.count("Please install the Blackmagic Desktop Video drivers to use the features of this "
                           "application."),
                 1);
        QVERIFY(answerer.titles().isEmpty());
    }

    void aCardThatFailsToInitialiseIsNeverListed_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("no input") << "noInput"
                                  << "Cannot get interface for DeckLink input";
        QTest::newRow("no output") << "noOutput"
                                   << "Cannot get interface for DeckLink output";
    }
    void aCardThatFailsToInitialiseIsNeverListed()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        const QByteArray text = QString(R"(
cards:
  - { name: "Good", source: { kind: bars } }
  - { name: "Broken", faults: [%1], source: { kind: bars } }
  - { name: "Also Good", source: { kind: bars } }
)")
                                    .arg(fault)
                                    .toUtf8();
        WindowOnCards driver(text.constData());
        QVERIFY2(driver.ready(2), driver.problem());
        QTRY_COMPARE(driver.answerer.titles(), QStringList{"DeckLink Device Error"});
        QCOMPARE(driver.answerer.texts(), QStringList{message});
        for (QComboBox* list : {driver.leftList(), driver.rightList(), driver.singleList()})
            QCOMPARE(WindowDriver::entries(list), (QStringList{"Good", "Also Good"}));
        // Its removal is no concern of the window's.
        QVERIFY(virtualcards::pull("Broken"));
        QVERIFY(virtualcards::pull("Good"));
        QTRY_COMPARE(WindowDriver::entries(driver.leftList()), QStringList{"Also Good"});
    }

    void theSameCardForBothCamerasStartsNothing()
    {
        WindowOnCards driver(kTwoCards);
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(1, 1);
        driver.click();
        QCOMPARE(driver.answerer.titles(), QStringList{"Start Capture Error"});
        QCOMPARE(driver.answerer.texts(),
                 QStringList{"Select different input devices for left and right display"});
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(!WindowDriver::deviceAt(driver.leftList(), 1)->IsCapturing());
        // A different right card then starts.
        driver.rightList()->setCurrentIndex(0);
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        QCOMPARE(driver.answerer.titles().size(), 1);
    }

    void aBusyLeftCardLeavesNothingRunning()
    {
        WindowOnCards driver(R"(
cards:
  - { name: "Busy", faults: [enableVideoInputFails], source: { kind: bars } }
  - { name: "Right", source: { kind: bars } }
)");
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QCOMPARE(driver.answerer.titles(), QStringList{"Left camera start capture error"});
        QVERIFY2(driver.answerer.texts().value(0).startsWith(
                     "Busy: This application was unable to select the chosen video mode."),
                 qPrintable(driver.answerer.texts().value(0)));
        // Half a rig is no rig: the right card does not run on its own.
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(!WindowDriver::deviceAt(driver.leftList(), 1)->IsCapturing());
        QVERIFY(driver.widget("grp_InputModeSelector")->isEnabled());
        QCoreApplication::processEvents();
        QVERIFY(driver.liveViewsEmpty());
    }

    // The left card's error box runs an event loop; the right card pulled
    // while it is open is released by the window and must not be started.
    void aCardPulledWhileTheStartErrorIsShownIsNotStarted()
    {
        configureCards(R"(
cards:
  - { name: "Busy", faults: [enableVideoInputFails], source: { kind: bars } }
  - { name: "Right", source: { kind: bars } }
)");
        MainWindow window;
        WindowDriver driver(window);
        QVERIFY(waitForCards(driver, 2));
        driver.chooseDouble(0, 1);
        QStringList titles;
        bool pulled = false;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (!pulled) {
                titles << box->windowTitle();
                pulled = virtualcards::pull("Right");
            } else if (driver.leftList()->count() == 1) { // the window has let the card go
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(5);
        driver.click();
        answer.stop();
        QVERIFY(pulled);
        QCOMPARE(titles, QStringList{"Left camera start capture error"});
        QCOMPARE(WindowDriver::entries(driver.rightList()), QStringList{"Busy"});
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(!WindowDriver::deviceAt(driver.leftList(), 0)->IsCapturing());
        // The card that stayed can be started again and fails as before, with no other box.
        ModalAnswerer answerer;
        driver.click();
        QCOMPARE(answerer.titles(), QStringList{"Start Capture Error"});
    }

    void aFailedSingleStartCanBeTriedAgain()
    {
        WindowOnCards driver(R"(
cards:
  - { name: "Busy", faults: [startStreamsFails], source: { kind: bars } }
)");
        QVERIFY2(driver.ready(1), driver.problem());
        driver.chooseSingle(0);
        for (int attempt = 1; attempt <= 2; ++attempt) {
            driver.click();
            QCOMPARE(driver.answerer.titles().size(), attempt);
            QCOMPARE(driver.answerer.titles().last(), QStringLiteral("Single input start capture error"));
            QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
            QVERIFY(driver.widget("grp_InputModeSelector")->isEnabled());
        }
    }

    void aCardWithoutANameIsListedAsDeckLink()
    {
        WindowOnCards driver(R"(
cards:
  - { name: "Anonymous", faults: [noDisplayName], source: { kind: bars } }
)");
        QVERIFY2(driver.ready(1), driver.problem());
        QCOMPARE(WindowDriver::entries(driver.singleList()), QStringList{"DeckLink"});
        driver.chooseSingle(0);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    // The first card is the selection of all three lists when it is pulled;
    // each list must let go of it, whichever mode is in use.
    void removingTheSelectedIdleCardMovesEverySelection()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        QVERIFY(virtualcards::pull("Virtual Card 1 (Left)"));
        QVERIFY(waitForCards(driver, 2));
        for (QComboBox* list : {driver.leftList(), driver.rightList(), driver.singleList()})
            QCOMPARE(list->currentText(), QStringLiteral("Virtual Card 2 (Right)"));
        // Starting on what each list now shows uses live cards only.
        driver.chooseSingle(driver.singleList()->currentIndex());
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.click();
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void removingACapturingCardStopsCapture_data()
    {
        QTest::addColumn<QString>("pulled");
        QTest::newRow("left camera") << "Virtual Card 1 (Left)";
        QTest::newRow("right camera") << "Virtual Card 2 (Right)";
    }
    void removingACapturingCardStopsCapture()
    {
        QFETCH(QString, pulled);
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);

        QVERIFY(virtualcards::pull(pulled.toStdString()));
        QVERIFY(waitForCards(driver, 2));
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(driver.startButton()->isEnabled());
        QVERIFY(driver.widget("grp_InputModeSelector")->isEnabled());
        for (int i = 0; i < 2; ++i)
            QVERIFY(!WindowDriver::deviceAt(driver.leftList(), i)->IsCapturing());
        QCoreApplication::processEvents();
        QVERIFY(driver.liveViewsEmpty());

        // The card comes back; capture starts on it and the third card.
        QVERIFY(virtualcards::plug(pulled.toStdString()));
        QVERIFY(waitForCards(driver, 3));
        QCOMPARE(driver.leftList()->itemText(2), pulled);
        driver.chooseDouble(2, 1);
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void removingAnotherCardLeavesCaptureRunning()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(1, 2);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        // The first card is only the single list's selection.
        QVERIFY(virtualcards::pull("Virtual Card 1 (Left)"));
        QVERIFY(waitForCards(driver, 2));
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QVERIFY(!driver.widget("grp_InputModeSelector")->isEnabled());
        QVERIFY(!driver.widget("frm_DoubleInputCtrl")->isEnabled());
        QCOMPARE(driver.leftList()->currentText(), QStringLiteral("Virtual Card 2 (Right)"));
        QCOMPARE(driver.rightList()->currentText(), QStringLiteral("Virtual Card 3 (Side by Side)"));
        QVERIFY(WindowDriver::deviceAt(driver.leftList(), 0)->IsCapturing());
        QVERIFY(WindowDriver::deviceAt(driver.leftList(), 1)->IsCapturing());
        const QString timecode = driver.label("lbl_rightTimecode");
        QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_rightTimecode") > timecode, kWait);
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void removingTheLastCardDisablesEverything()
    {
        WindowOnCards driver(R"(
cards:
  - { name: "Only", source: { kind: bars } }
)");
        QVERIFY2(driver.ready(1), driver.problem());
        driver.chooseSingle(0);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        QVERIFY(virtualcards::pull("Only"));
        QVERIFY(waitForCards(driver, 0));
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(!driver.startButton()->isEnabled());
        QVERIFY(!driver.widget("grp_InputModeSelector")->isEnabled());
        QVERIFY(!driver.widget("frm_SingleInputCtrl")->isEnabled());
        // Nothing is selected: a click does nothing.
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(virtualcards::plug("Only"));
        QVERIFY(waitForCards(driver, 1));
        QVERIFY(driver.startButton()->isEnabled());
        QVERIFY(driver.answerer.titles().isEmpty());
    }

    void aFormatChangeWhileCapturingIsFollowed()
    {
        WindowOnCards driver(kTwoCards);
        QVERIFY2(driver.ready(2), driver.problem());
        driver.chooseDouble(0, 1);
        DeckLinkDevice* left = WindowDriver::deviceAt(driver.leftList(), 0);
        // Frames are emitted on the driver's thread: they are collected in this
        // thread through a queued connection, which ends before the window stops
        // the card (a spy connected directly is written to by the driver's thread
        // and could go while a frame is still being delivered into it).
        QVector<VideoFrame> frames;
        QObject collector;
        QObject::connect(
            left->notifier(), &DeckLinkDeviceQtNotifier::newFrameArrived, &collector,
            [&frames](const VideoFrame& frame) { frames.append(frame); }, Qt::QueuedConnection);
        driver.click();
        QTRY_COMPARE_WITH_TIMEOUT(driver.label("lbl_leftDisplayMode"), QStringLiteral("HD 1080p25"), kWait);

        QVERIFY(virtualcards::setSignal("Left", bmdModeHD720p50));
        QTRY_COMPARE_WITH_TIMEOUT(driver.label("lbl_leftDisplayMode"), QStringLiteral("HD 720p50"), kWait);
        QVERIFY(left->IsCapturing());
        frames.clear();
        QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 3, kWait);
        for (const VideoFrame& frame : frames) {
            QCOMPARE(frame.image.cols, 1280);
            QCOMPARE(frame.image.rows, 720);
        }
        QCOMPARE(driver.label("lbl_rightDisplayMode"), QStringLiteral("HD 1080p25"));
        QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
        QVERIFY(driver.answerer.titles().isEmpty());
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
