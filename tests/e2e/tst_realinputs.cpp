// The window on GStreamer pipeline cards, through the program's composed
// driver: two free-running cameras are captured in double mode and their
// frames pair by time label on the calibration tab without a timecode of
// their own.

#include "common/modalanswerer.h"
#include "common/privatesettings.h"
#include "windowdriver.h"

#include <decklink/drivers.h>
#include <decklink/gstreamercards.h>

namespace {

constexpr int kWait = 30000;

} // namespace

class TestRealInputs : public WindowTestCase
{
    Q_OBJECT

private slots:
    // Beside the shared set-up: the virtual cards are listed with the real ones.
    void init() { decklinkdrivers::setVirtualCardsShown(true); }

    void twoPipelineCardsPairOnTheCalibrationTab()
    {
        // Two free-running SD cameras without timecode: frames pair by their time on the shared clock.
        const QString source = "videotestsrc is-live=true pattern=ball ! "
                               "video/x-raw,width=720,height=576,framerate=25/1,interlace-mode=interleaved";
        // Every mode listed: the window starts in the first and follows the detected one.
        const QString card =
            QStringLiteral("  - { name: \"%1\", source: { kind: pipeline, description: \"%2\" } }\n");
        WindowOnCards driver(
            ("cards:\n" + card.arg("Camera L", source) + card.arg("Camera R", source)).toStdString());
        QVERIFY2(driver.ready(2), driver.problem());
        QCOMPARE(WindowDriver::entries(driver.leftList()), (QStringList{"Camera L", "Camera R"}));
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        QCOMPARE(driver.label("lbl_leftDisplayMode"), QStringLiteral("PAL"));
        // Without timecode the offset comes from the motion both see (the ball), after a few seconds' frames.
        QTRY_VERIFY_WITH_TIMEOUT(
            driver.label("lbl_CameraSync").startsWith(QStringLiteral("Camera sync from motion: ")), kWait);
        driver.tabs()->setCurrentIndex(1);
        // The processed views are shown only for a left and a right result of one time label.
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_ImageProcessedLeft") &&
                                     driver.showsPicture("lbl_ImageProcessedRight"),
                                 kWait);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsEmpty(), kWait);
        QVERIFY2(driver.answerer.titles().isEmpty(), qPrintable(driver.answerer.titles().join(", ")));
        QVERIFY(gstreamercards::driverMessages().empty());
    }

    void aFormatOfNoStandardModeIsNamedByTheCard()
    {
        // A stream in no standard format: the card makes up a mode, named by size, scan and rate.
        WindowOnCards driver("cards:\n  - { name: \"Webcam\", source: { kind: pipeline, "
                             "description: \"videotestsrc is-live=true ! "
                             "video/x-raw,width=320,height=240,framerate=30/1\" } }\n");
        QVERIFY2(driver.ready(1), driver.problem());
        driver.chooseSingle(0);
        driver.click();
        QTRY_COMPARE_WITH_TIMEOUT(driver.label("lbl_leftDisplayMode"), QStringLiteral("320x240p30"), kWait);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsEmpty(), kWait);
        QVERIFY2(driver.answerer.titles().isEmpty(), qPrintable(driver.answerer.titles().join(", ")));
    }

    // A source that sends nothing: the view says whose first frame it waits
    // for (and the driver's reason once it has one), and Stop ends the wait.
    void aSilentCardIsAwaitedUntilStop_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("reason"); // in the view once the driver knows it; empty: none
        QTest::newRow("a valve that drops every frame")
            << "videotestsrc is-live=true ! valve drop=true ! video/x-raw,width=320,height=240,framerate=25/1"
            << "";
        QTest::newRow("a source that ends before its first frame")
            << "videotestsrc num-buffers=0 ! video/x-raw,width=320,height=240,framerate=25/1"
            << "the stream ended";
    }

    void aSilentCardIsAwaitedUntilStop()
    {
        QFETCH(QString, description);
        QFETCH(QString, reason);
        WindowOnCards driver(
            QStringLiteral(
                "cards:\n  - { name: \"Silent\", source: { kind: pipeline, description: \"%1\" } }\n")
                .arg(description)
                .toStdString());
        QVERIFY2(driver.ready(1), driver.problem());
        driver.chooseSingle(0);
        driver.click();
        const QString waiting = QStringLiteral("Waiting for the first frame from Silent");
        // Said as the card starts, never a blank view; the frames without signal that follow keep it.
        QVERIFY2(driver.label("lbl_ImageLiveLeft").contains(waiting),
                 qPrintable(driver.label("lbl_ImageLiveLeft")));
        QVERIFY2(driver.label("lbl_ImageLiveRight").contains(waiting),
                 qPrintable(driver.label("lbl_ImageLiveRight")));
        QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_ImageLiveLeft").startsWith(QStringLiteral("No signal")),
                                 kWait);
        QTRY_VERIFY_WITH_TIMEOUT(
            driver.label("lbl_ImageLiveLeft").contains(waiting + QStringLiteral(": ") + reason) ||
                (reason.isEmpty() && driver.label("lbl_ImageLiveLeft").contains(waiting)),
            kWait);
        QVERIFY(!driver.showsPicture("lbl_ImageLiveLeft"));
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_ImageLiveLeft").isEmpty() &&
                                     driver.label("lbl_ImageLiveRight").isEmpty(),
                                 kWait);
        QVERIFY2(driver.answerer.titles().isEmpty(), qPrintable(driver.answerer.titles().join(", ")));
    }

    void aCardThatCannotStartSaysWhyInTheWindow()
    {
        // A capture card's source where there is no card: the description is sound, the start fails.
        WindowOnCards driver("cards:\n  - { name: \"Broken\", source: { kind: pipeline, "
                             "description: \"decklinkvideosrc\" } }\n");
        QVERIFY2(driver.ready(1), driver.problem());
        driver.chooseSingle(0);
        driver.click();
        QTRY_COMPARE_WITH_TIMEOUT(driver.answerer.titles().size(), 1, kWait);
        QCOMPARE(driver.answerer.titles().last(), QStringLiteral("Single input start capture error"));
        // The driver's cause leads, said once, with no guess that the device is in use.
        const QString text = driver.answerer.texts().last();
        QVERIFY2(text.startsWith(QStringLiteral("Broken: ")) &&
                     text.count(QStringLiteral("desktop driver")) == 1,
                 qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("in-use")), qPrintable(text));
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
    }

    void aCardWhoseDescriptionFailsTheCheckIsNotListed()
    {
        WindowOnCards driver("cards:\n  - { name: \"Broken\", source: { kind: pipeline, "
                             "description: \"nosuchvideosource\" } }\n"
                             "  - { name: \"Camera\", source: { kind: pipeline, "
                             "description: \"videotestsrc is-live=true\" } }\n");
        QVERIFY2(driver.ready(1), driver.problem());
        // The description is checked as the configuration is read: the window says so as it opens, and
        // lists the cards that can start, as its message promises.
        QTRY_COMPARE_WITH_TIMEOUT(driver.answerer.titles().size(), 1, kWait);
        QCOMPARE(driver.answerer.titles().first(), QStringLiteral("Capture driver problem"));
        const QString text = driver.answerer.texts().first();
        QVERIFY2(text.contains(QStringLiteral("no element \"nosuchvideosource\"")) &&
                     text.contains(QStringLiteral("the cards concerned are not listed")),
                 qPrintable(text));
        QCOMPARE(WindowDriver::entries(driver.leftList()), QStringList{"Camera"});
        QCOMPARE(WindowDriver::entries(driver.rightList()), QStringList{"Camera"});
    }
};

QTEST_MAIN(TestRealInputs)
#include "tst_realinputs.moc"
