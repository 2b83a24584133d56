// The window under load on the virtual cards: tab changes while both cards
// stream, cards pulled and plugged while capturing, and the start button
// clicked on and off. Nothing may hang, crash or keep growing.

#include "common/modalanswerer.h"
#include "windowdriver.h"

#include <QRandomGenerator>
#include <algorithm>
#include <malloc.h>
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

// The heap in use, sampled over a run at quiet points (the window's queue
// just drained): what the program holds from the allocator, whatever the
// allocator keeps spare. On top of what a capture settles to, each sample
// carries what is in flight at that moment, in steps of a picture (6 MiB at
// 1080p): frames queued to a thread the machine's load holds back, the frames
// a branch's workers hold while it runs. That part wanders without a trend,
// by several frames from sample to sample and by a frame or two even in the
// lowest sample of a stretch of them; a leak instead lifts every sample in
// proportion to the repetitions. So after its first quarter (the warm-up) the
// run is cut into twelve stretches, the lowest sample of each is its floor,
// and the typical floor of the later six (their median) must not lie more
// than 10% above that of the earlier six.
class MemorySamples
{
public:
    void take()
    {
        QCoreApplication::processEvents();
        const struct mallinfo2 heap = mallinfo2();
        m_samples.push_back(qint64(heap.uordblks + heap.hblkhd));
    }

    void verifySettled() const
    {
#ifdef __SANITIZE_ADDRESS__
        // Its allocator takes the place of the heap, and its leak checker judges leaks.
        qInfo("heap in use not judged: the address sanitizer's allocator takes the place of the heap");
        return;
#endif
        constexpr int kStretches = 12;
        const int count = int(m_samples.size());
        QVERIFY(count >= 4 * kStretches);
        const int first = count / 4;
        std::vector<qint64> floors;
        QString shown;
        for (int i = 0; i < kStretches; ++i) {
            const auto begin = m_samples.begin() + first + i * (count - first) / kStretches;
            const auto end = m_samples.begin() + first + (i + 1) * (count - first) / kStretches;
            floors.push_back(*std::min_element(begin, end));
            shown += QStringLiteral(" %1").arg(floors.back() >> 20);
        }
        const qint64 earlier = median(floors.begin(), floors.begin() + kStretches / 2);
        const qint64 later = median(floors.begin() + kStretches / 2, floors.end());
        qInfo("heap in use, lowest of each stretch after warm-up (MiB):%s; median %lld, then %lld (%d samples)",
              qPrintable(shown), earlier >> 20, later >> 20, count);
        QVERIFY(earlier > 0);
        QVERIFY2(later <= earlier + earlier / 10, "the heap in use grew by more than 10% over the run");
    }

private:
    static qint64 median(std::vector<qint64>::const_iterator begin, std::vector<qint64>::const_iterator end)
    {
        std::vector<qint64> sorted(begin, end);
        std::sort(sorted.begin(), sorted.end());
        const size_t middle = sorted.size() / 2;
        return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    }

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
        // Every branch runs once first, so that each worker holds the frames
        // it keeps from then on before memory is sampled.
        driver.tabs()->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_ImageProcessedLeft") &&
                                     driver.showsPicture("lbl_ImageProcessedRight") &&
                                     driver.showsPicture("lbl_ImageResult"),
                                 kWait);
        driver.tabs()->setCurrentIndex(2);
        QTRY_VERIFY_WITH_TIMEOUT(driver.showsPicture("lbl_DisparityLivePreviewLeft") &&
                                     driver.showsPicture("lbl_DisparityLivePreviewRight"),
                                 kWait);

        QRandomGenerator random(20261208);
        MemorySamples memory;
        const int changes = scaled(1000);
        for (int i = 0; i < changes; ++i) {
            driver.tabs()->setCurrentIndex(random.bounded(3));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
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
