// The two calibration threads' results paired by time label before any view
// sees them: a result waits for the other side's of the same instant, an
// input without signal is reported at once, and clearing forgets the past.

#include "calibration/calibrationpairing.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// One side's result; a label of 0 with noSignal marks an input without signal.
struct Arrival
{
    bool left;
    uint32_t label;
    bool noSignal = false;
};

void deliver(CalibrationPairing& pairing, const Arrival& a)
{
    VideoFrame raw;
    raw.timecodeFormat = 1;
    raw.timecode = a.label;
    raw.noInputSignal = a.noSignal;
    raw.image = cv::Mat(4, 4, CV_8UC1, cv::Scalar(a.label));
    const std::vector<DetectedRectangle> rectangles(a.left ? 1 : 2);
    if (a.left)
        pairing.onNewLeftCalibrationResultsArrived(raw, raw, rectangles);
    else
        pairing.onNewRightCalibrationResultsArrived(raw, raw, rectangles);
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Arrival>)

class TestCalibrationPairing : public QObject
{
    Q_OBJECT

private slots:
    void resultsArePairedByTimeLabel_data()
    {
        QTest::addColumn<std::vector<Arrival>>("arrivals");
        // The time label of the left result of each pair reported, in order.
        QTest::addColumn<QList<uint32_t>>("paired");
        QTest::newRow("left then right") << std::vector<Arrival>{{true, 1}, {false, 1}} << QList<uint32_t>{1};
        QTest::newRow("right then left") << std::vector<Arrival>{{false, 1}, {true, 1}} << QList<uint32_t>{1};
        QTest::newRow("a side alone waits")
            << std::vector<Arrival>{{true, 1}, {true, 2}} << QList<uint32_t>{};
        QTest::newRow("an older label never pairs with a newer")
            << std::vector<Arrival>{{true, 1}, {false, 2}, {true, 2}} << QList<uint32_t>{2};
        QTest::newRow("a result replaced before its partner came")
            << std::vector<Arrival>{{true, 1}, {true, 2}, {false, 1}, {false, 2}} << QList<uint32_t>{2};
        QTest::newRow("no signal is reported at once")
            << std::vector<Arrival>{{true, 0, true}, {false, 5}} << QList<uint32_t>{0, 0};
        QTest::newRow("no signal on the right")
            << std::vector<Arrival>{{true, 3}, {false, 0, true}} << QList<uint32_t>{3};
    }
    void resultsArePairedByTimeLabel()
    {
        QFETCH(std::vector<Arrival>, arrivals);
        QFETCH(QList<uint32_t>, paired);
        CalibrationPairing pairing;
        QList<uint32_t> reported;
        connect(&pairing, &CalibrationPairing::resultsPaired, this, [&](const CalibrationPair& pair) {
            reported << pair.left.raw.timecode;
            // Each side keeps its own result whole; a side yet to report has none.
            QCOMPARE(pair.left.rectangles.size(), size_t(1));
            QCOMPARE(pair.right.rectangles.size(), size_t(pair.right.raw.image.empty() ? 0 : 2));
        });
        for (const Arrival& a : arrivals)
            deliver(pairing, a);
        QCOMPARE(reported, paired);
    }

    void clearingForgetsTheResultsOfBefore()
    {
        CalibrationPairing pairing;
        QSignalSpy reported(&pairing, &CalibrationPairing::resultsPaired);
        deliver(pairing, {true, 7});
        pairing.clear();
        deliver(pairing, {false, 7});
        QCOMPARE(reported.count(), 0);
        deliver(pairing, {true, 7});
        QCOMPARE(reported.count(), 1);
    }

    void clearingTakesInResultsAlreadyOnTheirWay()
    {
        qRegisterMetaType<VideoFrame>("VideoFrame");
        qRegisterMetaType<std::vector<DetectedRectangle>>("std::vector<DetectedRectangle>");
        CalibrationPairing pairing;
        QSignalSpy reported(&pairing, &CalibrationPairing::resultsPaired);
        deliver(pairing, {true, 4});
        VideoFrame raw;
        raw.timecodeFormat = 1;
        raw.timecode = 4;
        // As a calibration thread's result is queued to the pairing.
        QVERIFY(QMetaObject::invokeMethod(&pairing, "onNewRightCalibrationResultsArrived",
                                          Qt::QueuedConnection, Q_ARG(VideoFrame, raw),
                                          Q_ARG(VideoFrame, raw), Q_ARG(std::vector<DetectedRectangle>, {})));
        pairing.clear();
        QCOMPARE(reported.count(), 1); // reported before the clearing, not after it
        QCoreApplication::processEvents();
        QCOMPARE(reported.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCalibrationPairing)
#include "tst_calibrationpairing.moc"
