// The window under load on the virtual cards: tab changes while both cards
// stream, cards pulled and plugged while capturing, and the start button
// clicked on and off. Nothing may hang, crash or keep growing.

#include "common/modalanswerer.h"
#include "common/privatesettings.h"
#include "windowdriver.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <numeric>
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

// Resident memory sampled over a run, once a cycle, at quiet points (the
// window's queue just drained). Above the memory in use, each sample carries
// whatever is in flight or kept spare at that moment: frames queued to a
// thread the machine's load holds back, the buffers the cards recycle, the
// route of the tab shown. That part wanders, in steps of a frame, by some
// 40 MiB over a run with no trend, and further under load; its floor wanders
// far less. A leak lifts every sample, the floor too, by its size each cycle.
//
// The first third of a run is its warm-up and is not judged: caches, pools
// and the allocator's arenas fill there (over 15 % on an idle machine in a
// short run, longer under load), then memory levels off. The rest is cut
// into stretches, and the slope of the least-squares line through their
// floors is the growth per cycle. A run fails when that growth is both above
// half the smallest leak the check is to catch (50 KiB a cycle) and
// clearly above nothing (two standard errors of the slope), so that a rise
// within the wander of a short or loaded run is not taken for a leak, while a
// leak of 50 KiB a cycle over the cycles below is.
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
        constexpr int stretches = 12;
        constexpr double limitPerCycle = 50 * 1024 / 2.0;
        const int count = int(m_samples.size());
        QVERIFY(count >= 4 * stretches);
        const int warmUp = count / 3;
        const double length = double(count - warmUp) / stretches;
        // The floor of each stretch at the stretch's middle, in cycles.
        std::vector<double> at, floor;
        for (int i = 0; i < stretches; ++i) {
            const auto begin = m_samples.begin() + warmUp + int(i * length);
            const auto end = m_samples.begin() + warmUp + int((i + 1) * length);
            at.push_back(warmUp + (i + 0.5) * length);
            floor.push_back(double(*std::min_element(begin, end)));
        }
        const double meanAt = std::accumulate(at.begin(), at.end(), 0.0) / stretches;
        const double meanFloor = std::accumulate(floor.begin(), floor.end(), 0.0) / stretches;
        double spread = 0, covariance = 0;
        for (int i = 0; i < stretches; ++i) {
            spread += (at[i] - meanAt) * (at[i] - meanAt);
            covariance += (at[i] - meanAt) * (floor[i] - meanFloor);
        }
        const double slope = covariance / spread;
        double residuals = 0;
        for (int i = 0; i < stretches; ++i) {
            const double off = floor[i] - meanFloor - slope * (at[i] - meanAt);
            residuals += off * off;
        }
        const double standardError = std::sqrt(residuals / (stretches - 2) / spread);
        qInfo("resident memory: lowest %.0f MiB after warm-up, growth %+.1f KiB per cycle (standard error "
              "%.1f KiB) over %d cycles judged; highest %lld MiB",
              *std::min_element(floor.begin(), floor.end()) / (1 << 20), slope / 1024, standardError / 1024,
              count - warmUp, *std::max_element(m_samples.begin() + warmUp, m_samples.end()) >> 20);
        QVERIFY2(slope <= limitPerCycle || slope <= 2 * standardError,
                 "resident memory kept growing after the warm-up");
    }

private:
    std::vector<qint64> m_samples;
};

} // namespace

class TestCaptureStress : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        silenceFrameLog();
    }

    void cleanup() { verifyEveryCardReleased(); }

    void randomTabChangesWhileBothCardsStream()
    {
        WindowOnCards driver(virtualcards::defaultConfiguration());
        QVERIFY2(driver.ready(3), driver.problem());
        driver.chooseDouble(0, 1);
        driver.click();
        QTRY_VERIFY_WITH_TIMEOUT(driver.liveViewsFilled(), kWait);

        QRandomGenerator random(20261208);
        MemorySamples memory;
        const int changes = scaled(1500);
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
        const int cycles = scaled(200);
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
        const int clicks = scaled(400) & ~1; // ends stopped
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
