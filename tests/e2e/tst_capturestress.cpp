// The window under load on the virtual cards: tab changes while both cards
// stream, cards pulled and plugged while capturing, and the start button
// clicked on and off. Nothing may hang, crash or keep growing.

#include "common/modalanswerer.h"
#include "windowdriver.h"

#include <QRandomGenerator>
#include <algorithm>
#include <vector>

namespace {

constexpr int kWait = 20000;

// The sanitizer build runs several times slower; it repeats less.
#ifdef DUOSCOPE_STRESS_DIVISOR
constexpr int kDivisor = DUOSCOPE_STRESS_DIVISOR;
#else
constexpr int kDivisor = 1;
#endif
constexpr int scaled(int count)
{
    return count / kDivisor;
}

// Resident memory sampled over a run, at quiet points (the window's queue
// just drained). Above the memory in use, each sample carries whatever is in
// flight or kept spare at that moment: frames queued to a thread the
// machine's load holds back, the buffers the cards recycle, the route of the
// tab shown. That part wanders, in steps of a frame, by some 40 MiB over a
// run with no trend (400 pull-and-plug cycles measured), and further under
// load; its floor does not: the lowest samples of any stretch of that run
// lay within 6 MiB of each other. A leak lifts every sample, the floor too.
// So the run compares the lowest sample of its second quarter (the first
// being the warm-up) with the lowest of its second half: memory must not
// grow by more than 10% with the repetitions.
class MemorySamples
{
public:
    void take()
    {
        QCoreApplication::processEvents();
        m_samples.push_back(residentBytes());
    }

    void verifySettled() const
    {
        const int count = int(m_samples.size());
        QVERIFY(count >= 8);
        const auto begin = m_samples.begin();
        const qint64 warm = *std::min_element(begin + count / 4, begin + count / 2);
        const qint64 now = *std::min_element(begin + count / 2, m_samples.end());
        const qint64 highest = *std::max_element(begin + count / 4, m_samples.end());
        QVERIFY(warm > 0 && now > 0);
        qInfo("resident memory: %lld MiB after warm-up, %lld MiB in the second half of the run (lowest "
              "samples; highest %lld MiB, %d samples)",
              warm >> 20, now >> 20, highest >> 20, count);
        QVERIFY2(now <= warm + warm / 10, "resident memory grew by more than 10% over the run");
    }

private:
    std::vector<qint64> m_samples;
};

} // namespace

class TestCaptureStress : public WindowTestCase
{
    Q_OBJECT

private slots:
    void randomTabChangesWhileBothCardsStream()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);

        QRandomGenerator random(20261208);
        MemorySamples memory;
        const int changes = scaled(500);
        for (int i = 0; i < changes; ++i) {
            driver.tabs()->setCurrentIndex(random.bounded(3));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (i % 2 == 1)
                memory.take();
        }

        // The cards streamed throughout and the live views still follow them.
        driver.tabs()->setCurrentIndex(0);
        const QString timecode = driver.label("lbl_leftTimecode");
        QTRY_VERIFY_WITH_TIMEOUT(driver.label("lbl_leftTimecode") != timecode, kWait);
        driver.click();
        QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
        QVERIFY(driver.liveViewsEmpty());
        QVERIFY(driver.answerer.titles().isEmpty());
        memory.verifySettled();
    }

    void aCapturingCardPulledAndPluggedAgain()
    {
        WindowOnCards driver(R"(
cards:
  - { name: "Steady", source: { kind: bars } }
  - { name: "Pulled", source: { kind: bars } }
)");
        QVERIFY2(driver.ready(2), driver.problem());
        MemorySamples memory;
        const int cycles = scaled(100);
        for (int cycle = 0; cycle < cycles; ++cycle) {
            driver.chooseDouble(1, 0);
            QCOMPARE(driver.leftList()->currentText(), QStringLiteral("Pulled"));
            QSignalSpy frames(WindowDriver::deviceAt(driver.leftList(), 1)->notifier(),
                              SIGNAL(newFrameArrived(VideoFrame)));
            driver.click();
            QCOMPARE(driver.caption(), QStringLiteral("Stop capture"));
            QVERIFY(frames.wait(kWait));
            QVERIFY(virtualcards::pull("Pulled"));
            QVERIFY(waitForCards(driver, 1));
            QCOMPARE(driver.caption(), QStringLiteral("Start capture"));
            QVERIFY(!WindowDriver::deviceAt(driver.leftList(), 0)->IsCapturing());
            memory.take(); // nothing streams now
            QVERIFY(virtualcards::plug("Pulled"));
            QVERIFY(waitForCards(driver, 2));
        }
        QVERIFY(driver.answerer.titles().isEmpty());
        memory.verifySettled();
    }

    void startAndStopClickedOnAndOff()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(0, 1);
        MemorySamples memory;
        const int clicks = scaled(200) & ~1; // ends stopped
        for (int click = 0; click < clicks; ++click) {
            driver.click();
            const bool started = click % 2 == 0;
            QCOMPARE(driver.caption(),
                     started ? QStringLiteral("Stop capture") : QStringLiteral("Start capture"));
            // Most stops follow their start at once; some wait for the pictures.
            if (started && click % 10 == 0)
                QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
            QCoreApplication::processEvents();
            if (!started)
                memory.take();
        }
        QVERIFY(driver.liveViewsEmpty());
        // A last start still delivers.
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);
        driver.click();
        QVERIFY(driver.answerer.titles().isEmpty());
        memory.verifySettled();
    }
};

QTEST_MAIN(TestCaptureStress)
#include "tst_capturestress.moc"
