// The disparity worker: analyses on request only, one result per request,
// failures reported, requests kept across stop and start.

#include "common/emissionwaiter.h"
#include "common/messagelog.h"
#include "common/workerprobe.h"
#include "common/workerstress.h"
#include "disparity/disparitymapthread.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

using Probe = WorkerProbe<DisparityMapThread>;

const int shift = 8; // true disparity of the pair: left position minus right position

// A textured left picture and the right picture of the same scene seen `shift` pixels further left.
struct Pair
{
    VideoFrame left, right;
};

Pair texturedPair(uint32_t frames, cv::Size size = cv::Size(256, 96))
{
    cv::Mat wide(size.height, size.width + shift, CV_8UC3);
    cv::theRNG().state = 12345;
    cv::randu(wide, 0, 256);
    Pair p;
    p.left.image = wide.colRange(0, size.width).clone();
    p.right.image = wide.colRange(shift, size.width + shift).clone();
    for (VideoFrame* f : {&p.left, &p.right}) {
        f->timecodeFormat = 0x72703136;
        f->timecode = packTimeWord(9, 8, 7, frames);
    }
    p.left.pixelFormat = 0x32767579;
    p.left.displayMode = 0x48703630;
    p.left.timecodeUserBits = 0xABCD;
    p.left.hardwareReferenceTimestamp = packTimeWord(1, 2, 3, 4);
    p.left.streamTime = packTimeWord(5, 6, 7, 8);
    p.right.hardwareReferenceTimestamp = packTimeWord(0, 0, 0, 1); // differs from the left frame's
    return p;
}

using Settings = DisparitySettings;

} // namespace

class TestDisparityMapThread : public QObject
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
        results = std::make_unique<QSignalSpy>(worker.get(), &DisparityMapThread::newDisparityMapResults);
        failures = std::make_unique<QSignalSpy>(worker.get(), &DisparityMapThread::disparityMapFailed);
        resultWaiter =
            std::make_unique<EmissionWaiter>(worker.get(), &DisparityMapThread::newDisparityMapResults);
        failureWaiter =
            std::make_unique<EmissionWaiter>(worker.get(), &DisparityMapThread::disparityMapFailed);
    }
    void cleanup()
    {
        failureWaiter.reset();
        resultWaiter.reset();
        failures.reset();
        results.reset();
        worker.reset();
        log.reset();
    }

    void metaObjectEntries()
    {
        const QMetaObject& mo = DisparityMapThread::staticMetaObject;
        QCOMPARE(
            mo.method(mo.methodOffset()).methodSignature(),
            QByteArray("newDisparityMapResults(VideoFrame,VideoFrame,VideoFrame,DisparityHistogramInfo)"));
        QVERIFY(mo.indexOfSignal("disparityMapFailed(QString)") >= 0);
        QVERIFY(mo.indexOfSlot("onNewInputFramesArrived(VideoFrame,VideoFrame)") >= 0);
        // The settings travel whole, also across threads; without them the defaults are asked for.
        QVERIFY(mo.indexOfSlot("calculate(DisparitySettings)") >= 0);
        QVERIFY(mo.indexOfSlot("calculate()") >= 0);
        QVERIFY(mo.indexOfSlot("startLiveAnalysis(DisparitySettings)") >= 0);
        QCOMPARE(QByteArray(QMetaType::typeName(QMetaType::type("DisparitySettings"))),
                 QByteArray("DisparitySettings"));
        QCOMPARE(QByteArray(QMetaType::typeName(QMetaType::type("DisparityHistogramInfo"))),
                 QByteArray("DisparityHistogramInfo"));
    }

    void calculateTakesTheSettingsWhole_data()
    {
        QTest::addColumn<bool>("given");
        QTest::addColumn<Settings>("expected");
        QTest::newRow("no settings: the defaults") << false << Settings();
        QTest::newRow("settings given") << true << Settings{-32, 32, 5, false, -2.0, 0.5, 1.0};
        QTest::newRow("only the parallaxes differ") << true << Settings{-64, 64, 11, true, -3.0, 0.0, 2.0};
    }
    void calculateTakesTheSettingsWhole()
    {
        QFETCH(bool, given);
        QFETCH(Settings, expected);
        // As a queued call from the window's thread would deliver it.
        QVERIFY(given ? QMetaObject::invokeMethod(worker.get(), "calculate", Qt::QueuedConnection,
                                                  Q_ARG(DisparitySettings, expected))
                      : QMetaObject::invokeMethod(worker.get(), "calculate", Qt::QueuedConnection));
        QCoreApplication::processEvents();
        const Pair pair = texturedPair(3);
        worker->start();
        worker->onNewInputFramesArrived(pair.left, pair.right);
        QVERIFY(resultWaiter->wait());
        checkResult(results->at(0), pair, expected);
    }

    void pairsWithoutRequestAreThrownAway()
    {
        worker->start();
        for (uint32_t i = 0; i < 10; ++i)
            offer(texturedPair(i));
        QCOMPARE(results->count(), 0);
        QCOMPARE(log->count("DisparityMapThread::run() - ID:"), 0);

        worker->calculate();
        const Pair pair = texturedPair(10);
        offer(pair);
        QCOMPARE(results->count(), 1);
        checkResult(results->at(0), pair, Settings());
        offer(texturedPair(11)); // the request is used up
        QCOMPARE(results->count(), 1);
        QCOMPARE(failures->count(), 0);
    }

    void requestWaitsForAPairAndSurvivesStop()
    {
        worker->calculate(Settings{-16, 16, 7});
        worker->start();
        worker->stop();
        QVERIFY(worker->wait(10000));
        QCOMPARE(log->count("DisparityMapThread - stopped"), 1);
        QCOMPARE(results->count(), 0);
        worker->start();
        const Pair pair = texturedPair(4);
        offer(pair);
        QCOMPARE(results->count(), 1);
        Settings expected;
        expected.minDisparity = -16;
        expected.maxDisparity = 16;
        expected.blockSize = 7;
        checkResult(results->at(0), pair, expected);
    }

    void pairOfferedWhilePendingIsDropped()
    {
        const Pair first = texturedPair(1), second = texturedPair(2);
        worker->onNewInputFramesArrived(first.left, first.right); // not started: stays pending
        worker->onNewInputFramesArrived(second.left, second.right);
        QCOMPARE(log->count("DisparityMapThread::onNewInputFrameArrived - BUSY"), 1);
        QCOMPARE(log->count("DisparityMapThread::onNewInputFrameArrived - frame.data ="), 1);
        worker->calculate();
        worker->start();
        QVERIFY(resultWaiter->wait());
        QCOMPARE(results->at(0).at(0).value<VideoFrame>().timecode, first.left.timecode);
    }

    void failedAnalysisIsReported_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QSize>("rightSize");
        QTest::addColumn<QString>("reason");
        QTest::newRow("pictures differ in size")
            << Settings() << QSize(200, 96)
            << "The left picture (256 x 96) and the right picture (200 x 96) differ in size";
        QTest::newRow("right picture missing") << Settings() << QSize() << "lacks a picture";
        QTest::newRow("range not a multiple of 16")
            << Settings{-64, 60, 11, true, 0, 0, 0} << QSize(256, 96) << "positive multiple of 16";
        QTest::newRow("maximum below minimum")
            << Settings{64, -64, 11, true, 0, 0, 0} << QSize(256, 96) << "positive multiple of 16";
        QTest::newRow("even block size") << Settings{-64, 64, 10, true, 0, 0, 0} << QSize(256, 96) << "odd";
    }
    void failedAnalysisIsReported()
    {
        QFETCH(Settings, settings);
        QFETCH(QSize, rightSize);
        QFETCH(QString, reason);
        Pair pair = texturedPair(5);
        if (rightSize.isEmpty())
            pair.right.image = cv::Mat();
        else if (rightSize.width() != 256)
            pair.right.image = pair.right.image.colRange(0, rightSize.width()).clone();
        worker->calculate(settings);
        worker->start();
        offer(pair);
        QCOMPARE(failures->count(), 1);
        const QString text = failures->at(0).at(0).toString();
        QVERIFY2(text.contains(reason), qPrintable(text));
        QCOMPARE(results->count(), 0);
        QCOMPARE(log->count("DisparityMapThread - analysis failed:"), 1);

        // The request is used up and the worker goes on.
        offer(texturedPair(6));
        QCOMPARE(failures->count(), 1);
        QCOMPARE(results->count(), 0);
        worker->calculate();
        offer(texturedPair(7));
        QCOMPARE(results->count(), 1);
    }

    void liveAnalysisNarrowsThePictures_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("liveWidth");
        QTest::addColumn<int>("liveMin");
        QTest::addColumn<int>("liveMax");
        // The pair is shifted by 8 px; narrowed, by 8 px times the scale.
        QTest::newRow("1920 wide: half size, -32..32") << 1920 << 960 << -32 << 32;
        QTest::newRow("3840 wide: quarter size, -16..16") << 3840 << 960 << -16 << 16;
        QTest::newRow("640 wide: as it is") << 640 << 640 << -64 << 64;
    }
    void liveAnalysisNarrowsThePictures()
    {
        QFETCH(int, width);
        QFETCH(int, liveWidth);
        QFETCH(int, liveMin);
        QFETCH(int, liveMax);
        QSignalSpy live(worker.get(), &DisparityMapThread::newLiveDisparityMapResults);
        worker->start();
        worker->startLiveAnalysis(Settings());
        QVERIFY(worker->isLiveAnalysisOn());
        for (uint32_t i = 0; i < 3; ++i)
            offer(texturedPair(i, cv::Size(width, 96)));
        QCOMPARE(live.count(), 3); // every pair, none of them a saved result
        QCOMPARE(results->count(), 0);

        const Pair pair = texturedPair(2, cv::Size(width, 96));
        const VideoFrame left = live.at(2).at(0).value<VideoFrame>();
        const VideoFrame map = live.at(2).at(2).value<VideoFrame>();
        const DisparityHistogramInfo info = live.at(2).at(3).value<DisparityHistogramInfo>();
        QCOMPARE(left.image.cols, liveWidth);
        QCOMPARE(map.image.cols, liveWidth);
        QCOMPARE(map.image.rows, 96 * liveWidth / width);
        QCOMPARE(map.timecode, pair.left.timecode);
        QCOMPARE(info.minDisparity, liveMin);
        QCOMPARE(info.maxDisparity, liveMax);
        QCOMPARE(int(info.histogram.size()), liveMax - liveMin + 1);
        const double scaledShift = double(shift) * liveWidth / width;
        const auto peak = std::max_element(info.histogram.begin(), info.histogram.end());
        QCOMPARE(int(peak - info.histogram.begin()) + liveMin, int(scaledShift));
        // The budget in pixels of the full picture: the whole scene 8 px in front of the screen.
        QVERIFY(info.budget.valid);
        QCOMPARE(info.budget.pictureWidth, width);
        QVERIFY2(std::abs(info.budget.nearestPixels() + shift) <= 0.5 * width / liveWidth,
                 qPrintable(QString::number(info.budget.nearestPixels())));
        QVERIFY2(std::abs(info.budget.farthestPixels() + shift) <= 0.5 * width / liveWidth,
                 qPrintable(QString::number(info.budget.farthestPixels())));

        worker->stopLiveAnalysis();
        QVERIFY(!worker->isLiveAnalysisOn());
        offer(texturedPair(4, cv::Size(width, 96)));
        QCOMPARE(live.count(), 3);
    }

    void aRequestTakesTheNextPairAtFullSizeDuringLiveAnalysis()
    {
        QSignalSpy live(worker.get(), &DisparityMapThread::newLiveDisparityMapResults);
        worker->start();
        worker->startLiveAnalysis(Settings{-64, 64, 11, false});
        offer(texturedPair(1, cv::Size(1920, 64)));
        worker->calculate();
        const Pair full = texturedPair(2, cv::Size(1920, 64));
        offer(full);
        offer(texturedPair(3, cv::Size(1920, 64)));
        QCOMPARE(live.count(), 2);
        QCOMPARE(results->count(), 1);
        QCOMPARE(results->at(0).at(2).value<VideoFrame>().image.cols, 1920);
        QCOMPARE(results->at(0).at(0).value<VideoFrame>().timecode, full.left.timecode);
        QCOMPARE(live.at(1).at(0).value<VideoFrame>().timecode, texturedPair(3).left.timecode);
        QVERIFY(worker->isLiveAnalysisOn()); // the request does not end live analysis
    }

    void liveAnalysisThatCannotGoOnStopsWithOneReason_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<int>("rightWidth");
        QTest::addColumn<QString>("reason");
        QTest::newRow("pictures differ in size") << Settings() << 200 << "differ in size";
        QTest::newRow("block size refused") << Settings{-64, 64, 33, true, 0, 0, 0} << 256 << "odd number";
    }
    void liveAnalysisThatCannotGoOnStopsWithOneReason()
    {
        QFETCH(Settings, settings);
        QFETCH(int, rightWidth);
        QFETCH(QString, reason);
        QSignalSpy live(worker.get(), &DisparityMapThread::newLiveDisparityMapResults);
        QSignalSpy liveFailures(worker.get(), &DisparityMapThread::liveAnalysisFailed);
        Pair pair = texturedPair(5);
        pair.right.image = pair.right.image.colRange(0, rightWidth).clone();
        worker->start();
        worker->startLiveAnalysis(settings);
        offer(pair);
        offer(pair);
        QCOMPARE(liveFailures.count(), 1);
        QVERIFY2(liveFailures.at(0).at(0).toString().contains(reason),
                 qPrintable(liveFailures.at(0).at(0).toString()));
        QVERIFY(!worker->isLiveAnalysisOn());
        QCOMPARE(live.count(), 0);
        QCOMPARE(failures->count(), 0); // not the failure of a requested analysis
    }

    void startStopCycles()
    {
        const Pair pair = texturedPair(1, cv::Size(64, 24));
        ::startStopCycles(*worker, *resultWaiter, 2000, [&] {
            worker->calculate(Settings{0, 16, 3});
            worker->onNewInputFramesArrived(pair.left, pair.right);
        });
    }

private:
    // Offers a pair and waits until it is handled, as when pairs arrive one at a time.
    void offer(const Pair& p)
    {
        worker->onNewInputFramesArrived(p.left, p.right);
        QVERIFY(worker->waitIdle());
    }

    // The result is the analysis of exactly this pair with exactly these settings.
    void checkResult(const QList<QVariant>& result, const Pair& pair, const Settings& s)
    {
        const VideoFrame left = result.at(0).value<VideoFrame>();
        const VideoFrame right = result.at(1).value<VideoFrame>();
        const VideoFrame map = result.at(2).value<VideoFrame>();
        const DisparityHistogramInfo info = result.at(3).value<DisparityHistogramInfo>();
        QVERIFY(left.image.data == pair.left.image.data); // the analysed frames themselves
        QVERIFY(right.image.data == pair.right.image.data);
        QCOMPARE(map.pixelFormat, pair.left.pixelFormat);
        QCOMPARE(map.displayMode, pair.left.displayMode);
        QCOMPARE(map.timecode, pair.left.timecode);
        QCOMPARE(map.timecodeUserBits, pair.left.timecodeUserBits);
        QCOMPARE(map.timecodeFormat, pair.left.timecodeFormat);
        QCOMPARE(map.hardwareReferenceTimestamp, pair.left.hardwareReferenceTimestamp);
        QCOMPARE(map.streamTime, pair.left.streamTime);

        const cv::Mat raw = computeDisparityMap(pair.left.image, pair.right.image, s.minDisparity,
                                                s.maxDisparity, s.blockSize);
        const ParallaxLimits limits =
            computeParallaxLimits(pair.left.image.cols, s.minDisparity, s.maxDisparity, s.parallaxNear,
                                  s.parallaxScreen, s.parallaxFar);
        const cv::Mat expected = s.outputColored
                                     ? colorizeDisparity(raw, s.minDisparity, s.maxDisparity,
                                                         limits.farDisparity, limits.screenDisparityLow,
                                                         limits.screenDisparityHigh, limits.nearDisparity)
                                     : disparityToGray(raw);
        QCOMPARE(map.image.type(), expected.type());
        QCOMPARE(map.image.size(), expected.size());
        QCOMPARE(cv::norm(map.image, expected, cv::NORM_INF), 0.0);
        QCOMPARE(info.minDisparity, s.minDisparity);
        QCOMPARE(info.maxDisparity, s.maxDisparity);
        QCOMPARE(info.farDisparity, limits.farDisparity);
        QCOMPARE(info.screenDisparityLow, limits.screenDisparityLow);
        QCOMPARE(info.screenDisparityHigh, limits.screenDisparityHigh);
        QCOMPARE(info.nearDisparity, limits.nearDisparity);
        QCOMPARE(int(info.histogram.size()), s.maxDisparity - s.minDisparity + 1);
        // The textured pair is shifted by a known disparity: the histogram peaks there.
        const auto peak = std::max_element(info.histogram.begin(), info.histogram.end());
        QCOMPARE(int(peak - info.histogram.begin()) + s.minDisparity, shift);
        QCOMPARE(*peak, 1.0);
        // The whole textured scene lies `shift` pixels in front of the screen.
        QVERIFY(info.budget.valid);
        QCOMPARE(info.budget.pictureWidth, pair.left.image.cols);
        QVERIFY2(std::abs(info.budget.nearestPixels() + shift) < 0.5,
                 qPrintable(QString::number(info.budget.nearestPixels())));
        QVERIFY2(std::abs(info.budget.farthestPixels() + shift) < 0.5,
                 qPrintable(QString::number(info.budget.farthestPixels())));
    }

    std::unique_ptr<MessageLog> log;
    std::unique_ptr<Probe> worker;
    std::unique_ptr<QSignalSpy> results;
    std::unique_ptr<QSignalSpy> failures;
    std::unique_ptr<EmissionWaiter> resultWaiter;
    std::unique_ptr<EmissionWaiter> failureWaiter;
};

QTEST_GUILESS_MAIN(TestDisparityMapThread)
#include "tst_disparitymapthread.moc"
