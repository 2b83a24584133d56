// The calibration worker: the one-in-five frame rule, the detection and its
// drawn copy, the one-frame mailbox, errors, start and stop.

#include "calibration/calibrationthread.h"
#include "common/boardscene.h"
#include "common/emissionwaiter.h"
#include "common/framewords.h"
#include "common/messagelog.h"
#include "common/workerprobe.h"
#include "common/workerstress.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Vec3b)

namespace {

using Probe = WorkerProbe<CalibrationThread>;

const uint32_t ltc = 0x72703136;

// A frame labelled `frames` by its timecode, or by its hardware time when
// byTimecode is false; the other word carries a misleading frame number.
VideoFrame numberedFrame(uint32_t frames, bool byTimecode, const cv::Mat& image)
{
    VideoFrame f;
    f.image = image;
    f.timecodeFormat = byTimecode ? ltc : 0;
    f.timecode = packTimeWord(1, 2, 3, byTimecode ? frames : frames + 1);
    f.hardwareReferenceTimestamp = packTimeWord(4, 5, 6, byTimecode ? frames + 1 : frames);
    f.pixelFormat = 0x32767579;
    f.displayMode = 0x48703630;
    f.timecodeUserBits = 77;
    f.streamTime = packTimeWord(0, 1, 2, frames);
    return f;
}

cv::Mat plainPicture(cv::Size size = cv::Size(64, 48))
{
    return cv::Mat(size, CV_8UC3, cv::Scalar(180, 180, 180));
}

DetectedRectangle rectangle(float left, float top, float right, float bottom)
{
    DetectedRectangle r;
    r.setCorners(std::vector<cv::Point2f>{{left, top}, {right, top}, {right, bottom}, {left, bottom}});
    return r;
}

cv::Vec3b bgr(int b, int g, int r)
{
    return cv::Vec3b(uchar(b), uchar(g), uchar(r));
}

} // namespace

class TestCalibrationThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<VideoFrame>("VideoFrame");
        qRegisterMetaType<std::vector<DetectedRectangle>>("std::vector<DetectedRectangle>");
        // The checks below read the worker's debug lines.
        QLoggingCategory::setFilterRules("duoscope.*.debug=true");
    }
    void init()
    {
        log = std::make_unique<MessageLog>();
        worker = std::make_unique<Probe>();
        spy = std::make_unique<QSignalSpy>(worker.get(), &CalibrationThread::newCalibrationResults);
        results = std::make_unique<EmissionWaiter>(worker.get(), &CalibrationThread::newCalibrationResults);
    }
    void cleanup()
    {
        results.reset();
        spy.reset();
        worker.reset();
        log.reset();
    }

    void metaObjectHasTheSignalAndTheSlot()
    {
        const QMetaObject& mo = CalibrationThread::staticMetaObject;
        QCOMPARE(QByteArray(mo.className()), QByteArray("CalibrationThread"));
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 2);
        QCOMPARE(mo.method(mo.methodOffset()).methodSignature(),
                 QByteArray("newCalibrationResults(VideoFrame,VideoFrame,std::vector<DetectedRectangle>)"));
        QCOMPARE(mo.method(mo.methodOffset() + 1).methodSignature(),
                 QByteArray("onNewInputFrameArrived(VideoFrame)"));
    }

    void oneFrameInFiveIsAnalysed_data()
    {
        QTest::addColumn<bool>("byTimecode");
        QTest::newRow("by timecode") << true;
        QTest::newRow("by hardware time") << false;
    }
    void oneFrameInFiveIsAnalysed()
    {
        QFETCH(bool, byTimecode);
        worker->start();
        for (uint32_t frames = 0; frames < 25; ++frames)
            offer(numberedFrame(frames, byTimecode, plainPicture()));
        QCOMPARE(log->count("CalibrationThread::onNewInputFrameArrived - frame.data ="), 25);
        QCOMPARE(log->count("BUSY"), 0);
        QCOMPARE(spy->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(timeLabelFrameNumber(spy->at(i).at(0).value<VideoFrame>()), uint8_t(5 * i));
        QCOMPARE(log->count("CalibrationThread::run() - ID:"), 5);
        QCOMPARE(log->count("Pattern found: false"), 5);
    }

    void frameWithoutBoardGivesAnEmptyListAndACopy()
    {
        worker->start();
        const VideoFrame frame = numberedFrame(10, true, plainPicture());
        offer(frame);
        QCOMPARE(spy->count(), 1);
        const VideoFrame raw = spy->at(0).at(0).value<VideoFrame>();
        const VideoFrame drawn = spy->at(0).at(1).value<VideoFrame>();
        QVERIFY(spy->at(0).at(2).value<std::vector<DetectedRectangle>>().empty());
        QVERIFY(raw.image.data == frame.image.data);
        QVERIFY(drawn.image.data != frame.image.data);
        QCOMPARE(cv::norm(drawn.image, frame.image, cv::NORM_INF), 0.0);
        compareFrameWords(raw, frame);
        compareFrameWords(drawn, frame);
        QCOMPARE(log->count("Rectangles - size: 0"), 1);
    }

    void boardIsFoundAndDrawnOnTheCopy()
    {
        const CalibrationBoard board = CalibrationBoard::standard();
        const cv::Size size(1280, 720);
        BoardPose pose;
        pose.heightFraction = 0.7;
        pose.roll = 4.0;
        const cv::Mat picture = renderBoardScene(board, size, pose);
        const cv::Mat untouched = picture.clone();
        worker->start();
        offer(numberedFrame(15, false, picture));
        QCOMPARE(spy->count(), 1);
        const auto rectangles = spy->at(0).at(2).value<std::vector<DetectedRectangle>>();
        QCOMPARE(rectangles.size(), size_t(3));
        const auto truth = expectedRectangles(board, boardToImage(board, size, pose));
        for (size_t r = 0; r < 3; ++r)
            for (size_t j = 0; j < 4; ++j)
                QVERIFY(cv::norm(cv::Point2d(rectangles[r].corners()[j]) - truth[r][j]) < 1.0);
        QCOMPARE(cv::norm(picture, untouched, cv::NORM_INF), 0.0); // the received picture is not drawn on
        cv::Mat expected = picture.clone();
        drawDetectedRectangles(expected, rectangles);
        QCOMPARE(cv::norm(spy->at(0).at(1).value<VideoFrame>().image, expected, cv::NORM_INF), 0.0);
        QCOMPARE(log->count("Pattern found: true"), 1);
        QCOMPARE(log->count("Rectangles - size: 3"), 1);
    }

    void drawingUsesThePaletteByIndex_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<cv::Vec3b>("colour");
        const cv::Vec3b palette[] = {bgr(0, 0, 255),   bgr(0, 128, 255), bgr(0, 200, 200), bgr(0, 255, 0),
                                     bgr(200, 200, 0), bgr(255, 0, 0),   bgr(255, 0, 255)};
        for (int i = 0; i < 9; ++i)
            QTest::addRow("rectangle %d", i) << i << palette[i % 7];
    }
    void drawingUsesThePaletteByIndex()
    {
        QFETCH(int, index);
        QFETCH(cv::Vec3b, colour);
        // Nine nested rectangles 40 pixels apart, outermost first.
        std::vector<DetectedRectangle> rectangles;
        for (int i = 0; i < 9; ++i)
            rectangles.push_back(rectangle(100 + 40 * i, 100 + 40 * i, 1100 - 40 * i, 900 - 40 * i));
        cv::Mat image(1000, 1200, CV_8UC3, cv::Scalar::all(0));
        drawDetectedRectangles(image, rectangles);
        const int left = 100 + 40 * index, top = 100 + 40 * index, bottom = 900 - 40 * index;
        QCOMPARE(image.at<cv::Vec3b>(top, 600), colour);                 // edge 0-1, midway
        QCOMPARE(image.at<cv::Vec3b>((top + bottom) / 2, left), colour); // edge 3-0, midway
        QCOMPARE(image.at<cv::Vec3b>(bottom + 10, left), colour);        // circle of radius 10 round corner 3
    }

    void cornerNumbersAreGreenBesideTheirCorners()
    {
        const std::vector<DetectedRectangle> one{rectangle(200, 300, 700, 600)};
        cv::Mat image(800, 900, CV_8UC3, cv::Scalar::all(0));
        drawDetectedRectangles(image, one);
        // Each label sits above and right of its corner, its baseline starting there.
        const cv::Point corners[] = {{200, 300}, {700, 300}, {700, 600}, {200, 600}};
        for (int j = 0; j < 4; ++j) {
            int baseline = 0;
            const cv::Size text =
                cv::getTextSize(std::to_string(j), cv::FONT_HERSHEY_COMPLEX, 3.0, 5, &baseline);
            const cv::Rect box(corners[j].x + 12, corners[j].y - text.height, text.width - 12,
                               text.height - 12);
            cv::Mat mask;
            cv::inRange(image(box), cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), mask);
            QVERIFY2(cv::countNonZero(mask) > 50, qPrintable(QString("label %1").arg(j)));
        }
        cv::Mat green;
        cv::inRange(image, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), green);
        QCOMPARE(cv::countNonZero(green(cv::Rect(0, 0, 190, 800))), 0); // nothing left of the rectangle
    }

    void rectangleWithoutCornersDrawsNothing()
    {
        cv::Mat image(50, 50, CV_8UC3, cv::Scalar::all(7));
        drawDetectedRectangles(image, {DetectedRectangle()});
        QCOMPARE(cv::countNonZero(image.reshape(1) != 7), 0);
    }

    void frameOfferedWhileBusyIsDropped()
    {
        const VideoFrame first = numberedFrame(0, true, plainPicture());
        worker->onNewInputFrameArrived(first); // not started: stays pending
        worker->onNewInputFrameArrived(numberedFrame(5, true, plainPicture()));
        QCOMPARE(log->count("CalibrationThread::onNewInputFrameArrived - BUSY"), 1);
        worker->start();
        QVERIFY(results->wait());
        QVERIFY(worker->waitIdle());
        QCOMPARE(spy->count(), 1);
        QCOMPARE(spy->at(0).at(0).value<VideoFrame>().timecode, first.timecode);
    }

    void detectorErrorIsLoggedAndTheWorkerGoesOn()
    {
        worker->start();
        offer(numberedFrame(0, true, cv::Mat(48, 64, CV_16UC3, cv::Scalar::all(1000))));
        QCOMPARE(log->count("CalibrationThread - frame not handled:"), 1);
        QCOMPARE(spy->count(), 0);
        offer(numberedFrame(5, true, plainPicture()));
        QCOMPARE(spy->count(), 1);
    }

    void stopEndsRunAndLogs()
    {
        worker->start();
        worker->stop();
        QVERIFY(worker->wait(10000));
        QCOMPARE(log->count("CalibrationThread - stopped"), 1);
    }

    void startStopCycles()
    {
        const VideoFrame frame = numberedFrame(20, true, plainPicture(cv::Size(32, 24)));
        ::startStopCycles(*worker, *results, 2000, [&] { worker->onNewInputFrameArrived(frame); });
    }

private:
    // Offers a frame and waits until it is handled, as when frames arrive one at a time.
    void offer(const VideoFrame& frame)
    {
        worker->onNewInputFrameArrived(frame);
        QVERIFY(worker->waitIdle());
    }

    std::unique_ptr<MessageLog> log;
    std::unique_ptr<Probe> worker;
    std::unique_ptr<QSignalSpy> spy;
    std::unique_ptr<EmissionWaiter> results;
};

QTEST_GUILESS_MAIN(TestCalibrationThread)
#include "tst_calibrationthread.moc"
