// The synchronisation worker: pairs of equal time labels, the newest frame of
// each side kept while a comparison is pending, sides without a picture,
// start and stop.

#include "common/emissionwaiter.h"
#include "common/messagelog.h"
#include "common/workerprobe.h"
#include "common/workerstress.h"
#include "disparity/synchronizationthread.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>
#include <utility>

namespace {

using Probe = WorkerProbe<SynchronizationThread>;

// A frame labelled by its timecode (timecodeFormat not 0) or, without one,
// by its hardware reference timestamp.
VideoFrame frame(uint32_t timecodeFormat, uint32_t timecode, uint32_t hardwareTime, bool withImage = true)
{
    VideoFrame f;
    if (withImage)
        f.image = cv::Mat(4, 6, CV_8UC3, cv::Scalar(1, 2, 3));
    f.timecodeFormat = timecodeFormat;
    f.timecode = timecode;
    f.hardwareReferenceTimestamp = hardwareTime;
    return f;
}

VideoFrame timecoded(uint32_t frames)
{
    return frame(0x72703136, packTimeWord(1, 2, 3, frames), 0);
}

} // namespace

class TestSynchronizationThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<VideoFrame>("VideoFrame");
        // The checks below read the worker's debug lines.
        QLoggingCategory::setFilterRules("duoscope.*.debug=true");
    }
    void init()
    {
        log = std::make_unique<MessageLog>();
        worker = std::make_unique<Probe>();
        spy = std::make_unique<QSignalSpy>(worker.get(), &SynchronizationThread::newSynchronizedFrames);
        pairs = std::make_unique<EmissionWaiter>(worker.get(), &SynchronizationThread::newSynchronizedFrames);
    }
    void cleanup()
    {
        pairs.reset();
        spy.reset();
        worker.reset();
        log.reset();
    }

    void metaObjectHasTheSignalAndTwoSlots()
    {
        const QMetaObject& mo = SynchronizationThread::staticMetaObject;
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 3);
        QCOMPARE(mo.method(mo.methodOffset()).methodSignature(),
                 QByteArray("newSynchronizedFrames(VideoFrame,VideoFrame)"));
        QCOMPARE(mo.method(mo.methodOffset() + 1).methodSignature(),
                 QByteArray("onNewLeftInputFrameArrived(VideoFrame)"));
        QCOMPARE(mo.method(mo.methodOffset() + 2).methodSignature(),
                 QByteArray("onNewRightInputFrameArrived(VideoFrame)"));
    }

    void pairIsEmittedOnceWithTheStoredFrames()
    {
        worker->start();
        const VideoFrame left = timecoded(7), right = timecoded(7);
        offerLeft(left);
        offerRight(right);
        QVERIFY(pairs->wait());
        offerRight(timecoded(8)); // the newest right frame no longer matches
        QCOMPARE(spy->count(), 1);
        const VideoFrame l = spy->at(0).at(0).value<VideoFrame>();
        const VideoFrame r = spy->at(0).at(1).value<VideoFrame>();
        QVERIFY(l.image.data == left.image.data); // shared, never copied
        QVERIFY(r.image.data == right.image.data);
        QCOMPARE(log->count("SynchronizationThread::run() - ID:"), 1);
    }

    void timeLabelsDecideThePair_data()
    {
        QTest::addColumn<VideoFrame>("left");
        QTest::addColumn<VideoFrame>("right");
        QTest::addColumn<bool>("paired");
        const uint32_t ltc = 0x72703136, t = packTimeWord(10, 0, 5, 20), other = packTimeWord(10, 0, 5, 21);
        QTest::newRow("equal timecodes") << frame(ltc, t, 1) << frame(ltc, t, 2) << true;
        QTest::newRow("timecodes differ in frames") << frame(ltc, t, 1) << frame(ltc, other, 1) << false;
        QTest::newRow("timecode against hardware time") << frame(ltc, t, 0) << frame(0, 0, t) << true;
        QTest::newRow("hardware time against timecode") << frame(0, 5, t) << frame(ltc, t, 5) << true;
        // Without a timecode format the timecode word is not the label.
        QTest::newRow("unlabelled timecode ignored") << frame(ltc, t, 0) << frame(0, t, other) << false;
        QTest::newRow("both hardware time") << frame(0, 1, t) << frame(0, 2, t) << true;
        QTest::newRow("both hardware time zero") << frame(0, 0, 0) << frame(0, 0, 0) << true;
        QTest::newRow("right side without picture") << frame(0, 0, 0) << frame(0, 0, 0, false) << false;
        QTest::newRow("left side without picture") << frame(ltc, t, 0, false) << frame(ltc, t, 0) << false;
    }
    void timeLabelsDecideThePair()
    {
        QFETCH(VideoFrame, left);
        QFETCH(VideoFrame, right);
        QFETCH(bool, paired);
        worker->start();
        offerLeft(left);
        offerRight(right);
        QCOMPARE(spy->count(), paired ? 1 : 0);
    }

    void sideNeverAcceptedNeverPairs()
    {
        // The other side's stored frame is empty with all words 0, like this left frame's label.
        worker->start();
        offerLeft(frame(0, 0, 0));
        offerLeft(frame(0, 0, 0));
        QCOMPARE(spy->count(), 0);
        offerRight(frame(0, 0, 0));
        QCOMPARE(spy->count(), 1);
    }

    // Arrivals, in order: "L3" and "R3" are left and right frames labelled 3;
    // "|" lets the worker handle what has arrived and holds it again, so the
    // frames between two bars are all waiting when a handling begins.
    void pairingKeepsTheNewestFrameOfEachSide_data()
    {
        QTest::addColumn<QString>("arrivals");
        QTest::addColumn<QList<int>>("pairs");
        QTest::newRow("partner arrives while a comparison is pending") << "L3 R3 |" << QList<int>{3};
        QTest::newRow("both sides together, three instants")
            << "L1 R1 | R2 L2 | L3 R3 |" << QList<int>{1, 2, 3};
        QTest::newRow("burst of one side, then the partner of its newest")
            << "L1 L2 L3 R3 |" << QList<int>{3};
        QTest::newRow("burst of one side keeps one frame only") << "L1 L2 R1 |" << QList<int>{};
        QTest::newRow("bursts of both sides") << "L1 R1 L2 R2 L3 |" << QList<int>{};
        QTest::newRow("bursts of both sides ending together") << "L1 R1 L2 R2 L3 R3 |" << QList<int>{3};
        QTest::newRow("one side silent") << "L1 | L2 | L3 |" << QList<int>{};
        QTest::newRow("silent side comes back") << "L1 | L2 | R2 | L3 R3 |" << QList<int>{2, 3};
    }
    void pairingKeepsTheNewestFrameOfEachSide()
    {
        QFETCH(QString, arrivals);
        QFETCH(QList<int>, pairs);
        for (const QString& arrival : arrivals.split(' ')) {
            if (arrival == "|") {
                worker->start();
                QVERIFY(worker->waitIdle());
                worker->stop();
                QVERIFY(worker->wait(10000));
            } else {
                const VideoFrame f = timecoded(arrival.mid(1).toUInt());
                arrival[0] == 'L' ? worker->onNewLeftInputFrameArrived(f)
                                  : worker->onNewRightInputFrameArrived(f);
            }
        }
        QList<int> emitted;
        for (const QList<QVariant>& pair : *spy) {
            const VideoFrame left = pair.at(0).value<VideoFrame>(), right = pair.at(1).value<VideoFrame>();
            QCOMPARE(timeLabel(left), timeLabel(right));
            emitted << timeLabelFrameNumber(left);
        }
        QCOMPARE(emitted, pairs);
        QCOMPARE(log->count("BUSY"), 0);
    }

    void framesStoredDuringAHandlingAreCompared()
    {
        // The next pair arrives while the worker is still emitting the first:
        // it is compared without waiting for any later frame.
        bool offered = false;
        connect(
            worker.get(), &SynchronizationThread::newSynchronizedFrames, worker.get(),
            [&] {
                if (std::exchange(offered, true))
                    return;
                worker->onNewLeftInputFrameArrived(timecoded(6));
                worker->onNewRightInputFrameArrived(timecoded(6));
            },
            Qt::DirectConnection);
        worker->start();
        worker->onNewLeftInputFrameArrived(timecoded(5));
        worker->onNewRightInputFrameArrived(timecoded(5));
        QVERIFY(pairs->wait(2));
        QVERIFY(worker->waitIdle());
        QCOMPARE(spy->count(), 2);
        QCOMPARE(timeLabelFrameNumber(spy->at(1).at(0).value<VideoFrame>()), 6);
    }

    void everyMatchingFrameEmitsAPair()
    {
        worker->start();
        offerRight(timecoded(4));
        offerLeft(timecoded(4));
        offerLeft(timecoded(4));
        QCOMPARE(spy->count(), 2);
    }

    void storedFramesSurviveStopAndRestart()
    {
        worker->start();
        const VideoFrame left = timecoded(12);
        offerLeft(left);
        worker->stop();
        QVERIFY(worker->wait(10000));
        QCOMPARE(log->count("SynchronizationThread - stopped"), 1);
        worker->start();
        offerRight(timecoded(12));
        QCOMPARE(spy->count(), 1);
        QVERIFY(spy->at(0).at(0).value<VideoFrame>().image.data == left.image.data);
    }

    void startStopCycles()
    {
        offerRight(timecoded(1)); // not started: stays pending
        worker->start();
        QVERIFY(worker->waitIdle());
        worker->stop();
        QVERIFY(worker->wait(10000));
        const VideoFrame left = timecoded(1);
        ::startStopCycles(*worker, *pairs, 2000, [&] { worker->onNewLeftInputFrameArrived(left); });
    }

private:
    // Offers a frame and waits until it is handled, as when frames arrive one at a time.
    void offerLeft(const VideoFrame& f) { offer(f, true); }
    void offerRight(const VideoFrame& f) { offer(f, false); }
    void offer(const VideoFrame& f, bool left)
    {
        const int busy = log->count("BUSY");
        left ? worker->onNewLeftInputFrameArrived(f) : worker->onNewRightInputFrameArrived(f);
        QCOMPARE(log->count("BUSY"), busy);
        if (worker->isRunning())
            QVERIFY(worker->waitIdle());
    }

    std::unique_ptr<MessageLog> log;
    std::unique_ptr<Probe> worker;
    std::unique_ptr<QSignalSpy> spy;
    std::unique_ptr<EmissionWaiter> pairs;
};

QTEST_GUILESS_MAIN(TestSynchronizationThread)
#include "tst_synchronizationthread.moc"
