// The scene worker: the two sides paired by time label as they arrive (also
// when one side runs behind), only on the board's instants, never on a frame
// without a signal, and the readings in full-size pixels.

#include "common/emissionwaiter.h"
#include "common/workerprobe.h"
#include "rigscene.h"
#include "scene/scenethread.h"

#include <QSignalSpy>
#include <QtTest>
#include <array>

namespace {

using Probe = WorkerProbe<SceneThread>;

// A frame offered to the worker: its side, the frame number of its time
// label, whether its card had a signal, and whether the frames waiting for a
// partner are forgotten first (the route to the worker was cut meanwhile).
struct Offer
{
    bool left;
    int frames;
    bool signal = true;
    bool afterForgetting = false;
};

// Half-size views of the rig: the right camera rolled 0.3 deg clockwise and
// 2 px (of the full picture) low.
const cv::Mat& rigView(bool left)
{
    static const std::array<cv::Mat, 2> views = [] {
        virtualcards::RigSettings settings;
        settings.right = {1.0, 0.3, 2.0, 0.0};
        const virtualcards::RigScene rig(settings);
        const cv::Size full(1920, 1080), half(960, 540);
        return std::array<cv::Mat, 2>{rig.render(virtualcards::RigCamera::Left, full, half),
                                      rig.render(virtualcards::RigCamera::Right, full, half)};
    }();
    return views[left ? 0 : 1];
}

VideoFrame frameOf(const Offer& offer)
{
    VideoFrame frame;
    frame.image = rigView(offer.left);
    frame.hardwareReferenceTimestamp = packTimeWord(10, 0, 1, uint32_t(offer.frames));
    frame.noInputSignal = !offer.signal;
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Offer>)

class TestSceneThread : public QObject
{
    Q_OBJECT
private slots:
    void pairsByTimeLabel_data();
    void pairsByTimeLabel();
};

void TestSceneThread::pairsByTimeLabel_data()
{
    QTest::addColumn<std::vector<Offer>>("offers");
    QTest::addColumn<int>("paired"); // frame number of the measured pair, -1 for none

    QTest::newRow("same instant") << std::vector<Offer>{{true, 5}, {false, 5}} << 5;
    QTest::newRow("right first") << std::vector<Offer>{{false, 10}, {true, 10}} << 10;
    QTest::newRow("right two instants behind")
        << std::vector<Offer>{{true, 5}, {true, 10}, {true, 15}, {false, 5}} << 5;
    QTest::newRow("left too far behind")
        << std::vector<Offer>{{false, 0},  {false, 5},  {false, 10}, {false, 15},
                              {false, 20}, {false, 25}, {true, 0}}
        << -1;
    QTest::newRow("not a board instant") << std::vector<Offer>{{true, 3}, {false, 3}} << -1;
    QTest::newRow("never the same instant") << std::vector<Offer>{{true, 5}, {false, 10}, {true, 15}} << -1;
    QTest::newRow("left without a signal") << std::vector<Offer>{{true, 5, false}, {false, 5}} << -1;
    QTest::newRow("right without a signal, then with one")
        << std::vector<Offer>{{true, 5}, {false, 5, false}, {false, 5}} << 5;
    QTest::newRow("waiting frame forgotten") << std::vector<Offer>{{true, 5}, {false, 5, true, true}} << -1;
    QTest::newRow("forgotten, then a new instant")
        << std::vector<Offer>{{true, 5}, {true, 10, true, true}, {false, 5}, {false, 10}} << 10;
}

void TestSceneThread::pairsByTimeLabel()
{
    QFETCH(std::vector<Offer>, offers);
    QFETCH(int, paired);

    Probe worker;
    worker.setFullSizeScale(FullSizeScale{2.0, 2.0});
    QSignalSpy spy(&worker, &SceneThread::newSceneResults);
    EmissionWaiter results(&worker, &SceneThread::newSceneResults);
    worker.start();
    for (const Offer& offer : offers) {
        if (offer.afterForgetting)
            worker.forgetWaitingFrames();
        if (offer.left)
            worker.onNewLeftInputFrameArrived(frameOf(offer));
        else
            worker.onNewRightInputFrameArrived(frameOf(offer));
    }
    // A pair is in the mailbox as soon as its second frame is offered.
    if (paired < 0) {
        QVERIFY(worker.isIdle());
        QCOMPARE(spy.count(), 0);
        return;
    }
    QVERIFY(results.wait());
    QVERIFY(worker.waitIdle());
    QCOMPARE(spy.count(), 1);
    const VideoFrame left = spy[0][0].value<VideoFrame>();
    const VideoFrame right = spy[0][1].value<VideoFrame>();
    const SceneMeasurement measurement = spy[0][2].value<SceneMeasurement>();
    QCOMPARE(int(timeLabelFrameNumber(left)), paired);
    QVERIFY(haveSameTimeLabel(left, right));
    QCOMPARE(left.image.data, rigView(true).data);
    QCOMPARE(right.image.data, rigView(false).data);
    // Left and right in their places, in full-size pixels.
    QVERIFY2(measurement.reading, qPrintable(measurement.reason));
    QVERIFY(std::fabs(measurement.reading->rollDegrees - 0.3) < 0.03);
    QVERIFY(std::fabs(measurement.reading->verticalPixels - 2.0) < 0.3);
}

QTEST_GUILESS_MAIN(TestSceneThread)
#include "tst_scenethread.moc"
