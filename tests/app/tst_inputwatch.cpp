// The account of the inputs' frames, fed known frames at known times: the
// reason pairing waits, and each input's rate with its skipped and late frames.

#include "app/inputwatch.h"

#include <QtTest>

namespace {

constexpr int kRate = 25;
constexpr int kFrameMs = 1000 / kRate;

// What an input sends in a scenario.
enum Kind
{
    Silent,
    Timecode,
    HardwareTime,
    NoSignal,
    // A timecode that does not advance.
    Standing
};

// The time word count frames after start, at 25 frames per second.
uint32_t advance(uint32_t start, int count)
{
    const int index =
        ((int(start & 0xFF) * 60 + int(start >> 8 & 0xFF)) * 60 + int(start >> 16 & 0xFF)) * kRate +
        int(start >> 24) + count;
    const int seconds = index / kRate;
    return packTimeWord(seconds / 3600, seconds / 60 % 60, seconds % 60, index % kRate);
}

VideoFrame frameOf(Kind kind, uint32_t start, int count)
{
    VideoFrame frame;
    switch (kind) {
    case Timecode:
    case Standing:
        frame.timecodeFormat = 1;
        frame.timecode = kind == Standing ? start : advance(start, count);
        break;
    case HardwareTime:
        frame.hardwareReferenceTimestamp = advance(start, count);
        break;
    case NoSignal:
        frame.noInputSignal = true;
        break;
    case Silent:
        break;
    }
    return frame;
}

// Four seconds of frames, 100 a side, from time 0; a pair is made with every
// frame when pairs is set.
InputWatch watchFourSeconds(Kind left, uint32_t leftStart, Kind right, uint32_t rightStart, bool pairs)
{
    InputWatch watch;
    watch.restart(0);
    for (int i = 0; i < 100; ++i) {
        const int64_t at = int64_t(i) * kFrameMs;
        if (left != Silent)
            watch.frameArrived(InputWatch::Left, frameOf(left, leftStart, i), at);
        if (right != Silent)
            watch.frameArrived(InputWatch::Right, frameOf(right, rightStart, i), at);
        if (pairs)
            watch.pairMade(at);
    }
    return watch;
}

} // namespace

class TestInputWatch : public QObject
{
    Q_OBJECT

private slots:
    void waitingReason_data();
    void waitingReason();
    void patience();
    void inputSummary_data();
    void inputSummary();
};

void TestInputWatch::waitingReason_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<uint32_t>("leftStart");
    QTest::addColumn<int>("right");
    QTest::addColumn<uint32_t>("rightStart");
    QTest::addColumn<bool>("pairs");
    QTest::addColumn<QString>("expected");

    const uint32_t at43 = packTimeWord(0, 0, 43, 1);
    QTest::newRow("pairs keep coming") << int(Timecode) << at43 << int(Timecode) << at43 << true << QString();
    QTest::newRow("right timecode 29 s behind")
        << int(Timecode) << at43 << int(Timecode) << packTimeWord(0, 0, 13, 12) << false
        << QStringLiteral("Waiting for a pair: the right input's timecode is 29 s behind the left "
                          "(right 000:00:17:11, left 000:00:47:00)");
    QTest::newRow("left hardware time 2 s behind")
        << int(HardwareTime) << packTimeWord(1, 59, 57, 20) << int(HardwareTime) << packTimeWord(2, 0, 0, 0)
        << false
        << QStringLiteral("Waiting for a pair: the left input's hardware time is 2 s behind the right "
                          "(left 002:00:01:19, right 002:00:03:24)");
    QTest::newRow("right timecode stands")
        << int(Timecode) << at43 << int(Standing) << at43 << false
        << QStringLiteral("Waiting for a pair: the right input's timecode has stood at 000:00:43:01 for 4 s");
    QTest::newRow("timecode on one side only")
        << int(HardwareTime) << at43 << int(Timecode) << at43 << false
        << QStringLiteral("Waiting for a pair: the right input has a timecode and the left input none, so "
                          "their time labels never meet; give both inputs timecode or neither");
    QTest::newRow("no frames from the right")
        << int(Timecode) << at43 << int(Silent) << at43 << false
        << QStringLiteral("Waiting for a pair: no frames from the right input for 4 s");
    QTest::newRow("no frames at all")
        << int(Silent) << at43 << int(Silent) << at43 << false
        << QStringLiteral("Waiting for a pair: no frames from either input for 4 s");
    QTest::newRow("left without signal")
        << int(NoSignal) << at43 << int(Timecode) << at43 << false
        << QStringLiteral("Waiting for a pair: the left input has no signal; check its cable and camera");
    // Within two seconds the labels are those of frames still on their way.
    QTest::newRow("labels together, analysis busy")
        << int(Timecode) << at43 << int(Timecode) << packTimeWord(0, 0, 41, 2) << false
        << QStringLiteral("Waiting for a pair: the inputs' timecodes run together (left 000:00:47:00, right "
                          "000:00:45:01), yet no pair for 4 s; the analysis is still busy");
}

void TestInputWatch::waitingReason()
{
    QFETCH(int, left);
    QFETCH(uint32_t, leftStart);
    QFETCH(int, right);
    QFETCH(uint32_t, rightStart);
    QFETCH(bool, pairs);
    QFETCH(QString, expected);
    const InputWatch watch = watchFourSeconds(Kind(left), leftStart, Kind(right), rightStart, pairs);
    QCOMPARE(watch.waitingReason(100 * kFrameMs), expected);
}

void TestInputWatch::patience()
{
    // A pair made within the patience keeps the tab quiet; after it the wait is explained.
    InputWatch watch = watchFourSeconds(Timecode, 0, Silent, 0, false);
    watch.pairMade(4000);
    QCOMPARE(watch.waitingReason(4000 + InputWatch::kPatienceMs - 1), QString());
    QVERIFY(
        watch.waitingReason(4000 + InputWatch::kPatienceMs).startsWith(QStringLiteral("Waiting for a pair")));
    // Stopped and started afresh, the first pair gets the same patience.
    watch.restart(10000);
    QCOMPARE(watch.waitingReason(10000 + InputWatch::kPatienceMs - 1), QString());
    QCOMPARE(watch.inputSummary(InputWatch::Left), QStringLiteral("no frames yet"));
}

void TestInputWatch::inputSummary_data()
{
    QTest::addColumn<int>("every");
    QTest::addColumn<int>("arrivalMs");
    QTest::addColumn<QString>("expected");

    // Each frame's label advances by one frame, or by two every `every` frames;
    // frames arrive every arrivalMs. Frames are counted as skipped or late once
    // the labels have shown their rate: from the 25th frame on. The rate is
    // measured over the last 5 s: 62 intervals in 4.96 s at 80 ms.
    QTest::newRow("steady") << 0 << kFrameMs
                            << QStringLiteral("25.0 frames/s; since the start 0 frames skipped, 0 late");
    QTest::newRow("every tenth label skips one")
        << 10 << kFrameMs << QStringLiteral("25.0 frames/s; since the start 7 frames skipped, 0 late");
    QTest::newRow("every frame late")
        << 0 << 2 * kFrameMs << QStringLiteral("12.5 frames/s; since the start 0 frames skipped, 76 late");
}

void TestInputWatch::inputSummary()
{
    QFETCH(int, every);
    QFETCH(int, arrivalMs);
    QFETCH(QString, expected);
    InputWatch watch;
    watch.restart(0);
    int label = 0;
    for (int i = 0; i < 100; ++i) {
        label += every > 0 && i > 0 && i % every == 0 ? 2 : 1;
        watch.frameArrived(InputWatch::Left, frameOf(Timecode, 0, label), int64_t(i) * arrivalMs);
    }
    QCOMPARE(watch.inputSummary(InputWatch::Left), expected);
    QCOMPARE(watch.inputSummary(InputWatch::Right), QStringLiteral("no frames yet"));
}

QTEST_APPLESS_MAIN(TestInputWatch)
#include "tst_inputwatch.moc"
