// The cameras' offset as the acquisition tab shows it: by timecode, from
// frames of known timecodes arriving at known times, and from the motion
// estimate where the timecode cannot tell.

#include "app/syncreading.h"
#include "app/timecodesync.h"

#include <QtTest>
#include <decklink/DeckLinkAPI.h>

namespace {

constexpr int kFrameMs = 40; // 25 frames per second

// The frame of timecode index `count` (25 a second) in a mode.
VideoFrame timecoded(int count, uint32_t displayMode)
{
    VideoFrame frame;
    frame.timecodeFormat = bmdTimecodeRP188LTC;
    frame.displayMode = displayMode;
    const int seconds = count / 25;
    frame.timecode = packTimeWord(seconds / 3600, seconds / 60 % 60, seconds % 60, count % 25);
    return frame;
}

} // namespace

class TestCameraSync : public QObject
{
    Q_OBJECT
private slots:
    void byTimecode_data()
    {
        QTest::addColumn<int>("delayMs"); // the right frames' arrival after the left ones of one timecode
        QTest::addColumn<int>("rightTimecodeAt"); // the right camera's timecode against the left's, in frames
        QTest::addColumn<bool>("rightStands");    // the right timecode does not advance
        QTest::addColumn<uint32_t>("mode");
        QTest::addColumn<QString>("line"); // empty: the timecode gives no reading

        const uint32_t hd25 = bmdModeHD1080p25;
        QTest::newRow("in step, the right a little after") << 7 << 0 << false << hd25 << "in step";
        QTest::newRow("in step, the right a little before") << -9 << 0 << false << hd25 << "in step";
        QTest::newRow("right 1 frame late") << 38 << 0 << false << hd25 << "right 1 frame late (40 ms)";
        QTest::newRow("left 2 frames late") << -83 << 0 << false << hd25 << "left 2 frames late (80 ms)";
        // Interlaced: 25 frames a second, not the 50 fields of its name.
        QTest::newRow("1080i50 counts frames")
            << 40 << 0 << false << uint32_t(bmdModeHD1080i50) << "right 1 frame late (40 ms)";
        QTest::newRow("rate of the mode unknown")
            << 41 << 0 << false << uint32_t(0x7a7a7a7a)
            << "right 41 ms late (the display mode's frame rate is not known, so no count of frames)";
        // Cameras not jammed: the timecodes share no frame; they are compared as they stand.
        QTest::newRow("timecodes an hour apart")
            << 0 << -90000 << false << hd25 << "right 90000 frames late (3600000 ms)";
        QTest::newRow("timecode that does not advance") << 0 << 0 << true << hd25 << "";
    }

    void byTimecode()
    {
        QFETCH(int, delayMs);
        QFETCH(int, rightTimecodeAt);
        QFETCH(bool, rightStands);
        QFETCH(uint32_t, mode);
        QFETCH(QString, line);
        TimecodeSync sync;
        const int64_t start = 1000;
        for (int k = 0; k < 75; ++k) {
            const int64_t left = start + k * kFrameMs;
            const VideoFrame rightFrame = timecoded(rightStands ? 90000 : 90000 + k + rightTimecodeAt, mode);
            // Each side's frames come in their order; the clock of the test gives their times.
            if (delayMs < 0)
                sync.frameArrived(true, rightFrame, left + delayMs);
            sync.frameArrived(false, timecoded(90000 + k, mode), left);
            if (delayMs >= 0)
                sync.frameArrived(true, rightFrame, left + delayMs);
        }
        const std::optional<TimecodeSync::Reading> reading = sync.reading(start + 75 * kFrameMs);
        QCOMPARE(reading ? timecodeSyncText(*reading) : QString(), line);
    }

    void withoutTimecodeNothingIsRead()
    {
        TimecodeSync sync;
        for (int k = 0; k < 50; ++k) {
            VideoFrame plain;
            plain.displayMode = bmdModeHD1080p25;
            sync.frameArrived(false, timecoded(k, bmdModeHD1080p25), k * kFrameMs);
            sync.frameArrived(true, plain, k * kFrameMs);
        }
        QVERIFY(!sync.reading(50 * kFrameMs));
        // And a timecode that stopped a second ago is no longer read.
        TimecodeSync stopped;
        for (int k = 0; k < 25; ++k)
            for (bool right : {false, true})
                stopped.frameArrived(right, timecoded(k, bmdModeHD1080p25), k * kFrameMs);
        QVERIFY(stopped.reading(25 * kFrameMs));
        QVERIFY(!stopped.reading(25 * kFrameMs + TimecodeSync::kStandstillMs + 1));
    }

    void theLineSaysWhereTheFigureComesFrom_data()
    {
        QTest::addColumn<int>("status"); // of the motion estimate; -1: none yet
        QTest::addColumn<int>("frames");
        QTest::addColumn<double>("confidence");
        QTest::addColumn<double>("rate");
        QTest::addColumn<bool>("timecode"); // a timecode reading of 1 frame comes first
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("figure"); // what the take log keeps; empty: none

        const int measured = int(MotionOffset::Status::Measured);
        QTest::newRow("timecode wins over motion")
            << measured << -2 << 0.9 << 25.0 << true << "Camera sync by timecode: right 1 frame late (40 ms)"
            << "1";
        QTest::newRow("motion, clear")
            << measured << 2 << 0.62 << 25.0 << false
            << "Camera sync from motion: right 2 frames late (80 ms), confidence 62 %"
            << "2";
        QTest::newRow("motion, rate unknown")
            << measured << -1 << 0.5 << 0.0 << false
            << "Camera sync from motion: left 1 frame late, confidence 50 % (no time in ms: the display "
               "mode's frame rate is not known)"
            << "-1";
        QTest::newRow("motion that does not settle it")
            << measured << 1 << 0.12 << 25.0 << false
            << "Camera sync from motion: unknown: the motion does not settle it (confidence 12 %, under 30 "
               "%); "
               "move something across both pictures"
            << "";
        QTest::newRow("still scene")
            << int(MotionOffset::Status::StillScene) << 0 << 0.0 << 25.0 << false
            << "Camera sync from motion: unknown: the scene is still; move something in "
               "front of both cameras"
            << "";
        QTest::newRow("nothing yet") << -1 << 0 << 0.0 << 25.0 << false
                                     << "Camera sync: unknown: too few frames yet"
                                     << "";
    }

    void theLineSaysWhereTheFigureComesFrom()
    {
        QFETCH(int, status);
        QFETCH(int, frames);
        QFETCH(double, confidence);
        QFETCH(double, rate);
        QFETCH(bool, timecode);
        QFETCH(QString, line);
        QFETCH(QString, figure);
        std::optional<MotionOffset> motion;
        if (status >= 0) {
            motion = MotionOffset();
            motion->status = MotionOffset::Status(status);
            motion->frames = frames;
            motion->confidence = confidence;
        }
        std::optional<TimecodeSync::Reading> byTimecode;
        if (timecode)
            byTimecode = TimecodeSync::Reading{1, 40, 25};
        const SyncReading reading = syncReading(byTimecode, motion, rate);
        QCOMPARE(syncLine(reading), line);
        QCOMPARE(reading.frames ? QString::number(*reading.frames) : QString(), figure);
    }
};

QTEST_MAIN(TestCameraSync)
#include "tst_camerasync.moc"
