// The offset between two inputs read from the timecodes of their newest frames.

#include "camerasync/timecodeoffset.h"

#include <QtTest>
#include <optional>

namespace {

VideoFrame frameAt(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t frames, bool timecode = true)
{
    VideoFrame frame;
    frame.timecode = packTimeWord(hours, minutes, seconds, frames);
    frame.timecodeFormat = timecode ? 0x72703132 : 0; // 'rp12'; 0: no timecode found
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<int>)

class TestTimecodeOffset : public QObject
{
    Q_OBJECT
private slots:
    void readsTheOffset_data()
    {
        QTest::addColumn<VideoFrame>("left");
        QTest::addColumn<VideoFrame>("right");
        QTest::addColumn<int>("rate");
        QTest::addColumn<std::optional<int>>("frames");
        QTest::newRow("in step") << frameAt(10, 0, 0, 12) << frameAt(10, 0, 0, 12) << 25
                                 << std::optional<int>(0);
        QTest::newRow("right 1 frame late")
            << frameAt(10, 0, 0, 12) << frameAt(10, 0, 0, 11) << 25 << std::optional<int>(1);
        QTest::newRow("left 2 frames late, across a second")
            << frameAt(10, 0, 0, 24) << frameAt(10, 0, 1, 1) << 25 << std::optional<int>(-2);
        QTest::newRow("across an hour at 30 frames")
            << frameAt(11, 0, 0, 0) << frameAt(10, 59, 59, 27) << 30 << std::optional<int>(3);
        QTest::newRow("across midnight")
            << frameAt(0, 0, 0, 1) << frameAt(23, 59, 59, 24) << 25 << std::optional<int>(2);
        QTest::newRow("right without timecode")
            << frameAt(10, 0, 0, 12) << frameAt(10, 0, 0, 12, false) << 25 << std::optional<int>();
        QTest::newRow("rate unknown")
            << frameAt(10, 0, 0, 12) << frameAt(10, 0, 0, 11) << 0 << std::optional<int>();
    }

    void readsTheOffset()
    {
        QFETCH(VideoFrame, left);
        QFETCH(VideoFrame, right);
        QFETCH(int, rate);
        QFETCH(std::optional<int>, frames);
        QCOMPARE(timecodeOffsetFrames(left, right, rate), frames);
    }

    void readsAsTheMotionEstimate()
    {
        QCOMPARE(motionOffsetText(timecodeOffset(0), 25), QStringLiteral("in step"));
        QCOMPARE(motionOffsetText(timecodeOffset(1), 25), QStringLiteral("right 1 frame late (40 ms)"));
        QCOMPARE(motionOffsetText(timecodeOffset(-3), 50), QStringLiteral("left 3 frames late (60 ms)"));
    }
};

QTEST_MAIN(TestTimecodeOffset)
#include "tst_timecodeoffset.moc"
