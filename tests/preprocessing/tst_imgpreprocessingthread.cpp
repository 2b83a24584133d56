// The preprocessing worker: views of each layout, turns and flips, metadata,
// the one-frame mailbox, start and stop.

#include "common/emissionwaiter.h"
#include "common/framewords.h"
#include "common/messagelog.h"
#include "common/workerprobe.h"
#include "common/workerstress.h"
#include "preprocessing/imgpreprocessingthread.h"

#include <QSignalSpy>
#include <QtTest>
#include <functional>
#include <memory>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(FrameTransform)

namespace {

using Probe = WorkerProbe<ImgPreprocessingThread>;

// Every pixel different, so a wrong offset or mapping shows.
cv::Mat numberedImage(int rows, int cols)
{
    cv::Mat image(rows, cols, CV_8UC3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            image.at<cv::Vec3b>(r, c) = cv::Vec3b(uchar(c), uchar(c >> 8 | r << 4), uchar(r >> 4));
    return image;
}

VideoFrame frameWith(const cv::Mat& image, uint32_t seed = 1)
{
    VideoFrame frame;
    frame.image = image;
    frame.pixelFormat = 0x32767579 + seed;
    frame.displayMode = 0x48703630 + seed;
    frame.timecode = packTimeWord(10, 20, 30, 4) + seed;
    frame.timecodeUserBits = 0x1234 + seed;
    frame.timecodeFormat = 0x72703136 + seed;
    frame.hardwareReferenceTimestamp = packTimeWord(1, 2, 3, 5) + seed;
    frame.streamTime = packTimeWord(0, 0, 7, 9) + seed;
    return frame;
}

bool sameContent(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0);
}

// Where an input pixel (r, c) of an image of h rows and w columns lands, one step at a time.
struct Mapping
{
    std::function<cv::Point(int r, int c, int h, int w)> to; // (x = column, y = row)
    bool swapsSize;
};

const Mapping rotateLeftMap{[](int r, int c, int, int w) { return cv::Point(r, w - 1 - c); }, true};
const Mapping rotateRightMap{[](int r, int c, int h, int) { return cv::Point(h - 1 - r, c); }, true};
const Mapping rotate180Map{[](int r, int c, int h, int w) { return cv::Point(w - 1 - c, h - 1 - r); }, false};
const Mapping flipHorizontalMap{[](int r, int c, int, int w) { return cv::Point(w - 1 - c, r); }, false};
const Mapping flipVerticalMap{[](int r, int c, int h, int) { return cv::Point(c, h - 1 - r); }, false};

cv::Mat mapped(const cv::Mat& in, const Mapping& m)
{
    cv::Mat out(m.swapsSize ? in.cols : in.rows, m.swapsSize ? in.rows : in.cols, in.type());
    for (int r = 0; r < in.rows; ++r)
        for (int c = 0; c < in.cols; ++c)
            out.at<cv::Vec3b>(m.to(r, c, in.rows, in.cols)) = in.at<cv::Vec3b>(r, c);
    return out;
}

FrameTransform transformOf(const QString& steps)
{
    FrameTransform t;
    t.rotateLeft = steps.contains("L");
    t.rotateRight = steps.contains("R");
    t.rotate180 = steps.contains("8");
    t.flipHorizontal = steps.contains("H");
    t.flipVertical = steps.contains("V");
    return t;
}

} // namespace

class TestImgPreprocessingThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<VideoFrame>("VideoFrame");
        // The checks below read the worker's debug lines.
        QLoggingCategory::setFilterRules("duoscope.*.debug=true");
    }
    // Every test collects the debug lines instead of printing them.
    void init() { log = std::make_unique<MessageLog>(); }
    void cleanup() { log.reset(); }

    void metaObjectHasTheSignalAndTheSlot()
    {
        const QMetaObject& mo = ImgPreprocessingThread::staticMetaObject;
        QCOMPARE(QByteArray(mo.className()), QByteArray("ImgPreprocessingThread"));
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 2);
        QCOMPARE(mo.method(mo.methodOffset()).methodSignature(),
                 QByteArray("newProcessingResults(VideoFrame)"));
        QCOMPARE(mo.method(mo.methodOffset()).methodType(), QMetaMethod::Signal);
        QCOMPARE(mo.method(mo.methodOffset() + 1).methodSignature(),
                 QByteArray("onNewInputFrameArrived(VideoFrame)"));
        QCOMPARE(mo.method(mo.methodOffset() + 1).methodType(), QMetaMethod::Slot);
    }

    void layoutsCutTheCameraView_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("cameraId");
        QTest::addColumn<QSize>("input");
        QTest::addColumn<QRect>("view");
        QTest::addColumn<bool>("shared");
        const QSize hd(1920, 1080), odd(1921, 1081);
        QTest::newRow("side by side, left")
            << int(InputSideBySide) << 0 << hd << QRect(0, 0, 960, 1080) << true;
        QTest::newRow("side by side, right")
            << int(InputSideBySide) << 1 << hd << QRect(960, 0, 960, 1080) << true;
        QTest::newRow("side by side, odd, left")
            << int(InputSideBySide) << 0 << odd << QRect(0, 0, 960, 1081) << true;
        // The last column belongs to neither half.
        QTest::newRow("side by side, odd, right")
            << int(InputSideBySide) << 1 << odd << QRect(960, 0, 960, 1081) << true;
        QTest::newRow("under/over, top") << int(InputUnderOver) << 0 << hd << QRect(0, 0, 1920, 540) << true;
        QTest::newRow("under/over, bottom")
            << int(InputUnderOver) << 1 << hd << QRect(0, 540, 1920, 540) << true;
        QTest::newRow("under/over, odd, bottom")
            << int(InputUnderOver) << 1 << odd << QRect(0, 540, 1921, 540) << true;
        QTest::newRow("double, left") << int(InputDouble) << 0 << hd << QRect(0, 0, 1920, 1080) << true;
        QTest::newRow("double, right") << int(InputDouble) << 1 << odd << QRect(0, 0, 1921, 1081) << true;
        QTest::newRow("identical, left")
            << int(InputIdentical) << 0 << hd << QRect(0, 0, 1920, 1080) << false;
        QTest::newRow("identical, right")
            << int(InputIdentical) << 1 << odd << QRect(0, 0, 1921, 1081) << false;
        QTest::newRow("unknown layout") << 7 << 0 << hd << QRect() << false;
        QTest::newRow("half layout, third camera") << int(InputSideBySide) << 2 << hd << QRect() << false;
    }
    void layoutsCutTheCameraView()
    {
        QFETCH(int, mode);
        QFETCH(int, cameraId);
        QFETCH(QSize, input);
        QFETCH(QRect, view);
        QFETCH(bool, shared);
        Probe worker(cameraId);
        worker.setSettings(mode, FrameTransform(), FrameTransform());
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        const VideoFrame frame = frameWith(numberedImage(input.height(), input.width()));
        worker.start();
        worker.onNewInputFrameArrived(frame);
        QVERIFY(results.wait());
        const VideoFrame out = spy.at(0).at(0).value<VideoFrame>();
        compareFrameWords(out, frame);
        if (view.isNull()) {
            QVERIFY(out.image.empty());
            return;
        }
        const cv::Mat expected = frame.image(cv::Rect(view.x(), view.y(), view.width(), view.height()));
        QVERIFY(sameContent(out.image, expected));
        QCOMPARE(out.image.data == expected.data, shared);
    }

    // A frame-compatible signal squeezes each view into its half; scaled
    // back, the views have the full picture's aspect again, before the turn.
    void squeezedHalvesAreScaledBack_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("cameraId");
        QTest::addColumn<bool>("fullSize");
        QTest::addColumn<QString>("turn");
        QTest::addColumn<QSize>("output");
        QTest::newRow("side by side, left") << int(InputSideBySide) << 0 << true << "" << QSize(1920, 1080);
        QTest::newRow("side by side, right") << int(InputSideBySide) << 1 << true << "" << QSize(1920, 1080);
        QTest::newRow("side by side, turned after scaling")
            << int(InputSideBySide) << 1 << true << "L" << QSize(1080, 1920);
        QTest::newRow("under/over, bottom") << int(InputUnderOver) << 1 << true << "" << QSize(1920, 1080);
        QTest::newRow("side by side, halves as cut")
            << int(InputSideBySide) << 0 << false << "" << QSize(960, 1080);
        QTest::newRow("under/over, halves as cut")
            << int(InputUnderOver) << 0 << false << "" << QSize(1920, 540);
        QTest::newRow("identical untouched") << int(InputIdentical) << 0 << true << "" << QSize(1920, 1080);
        QTest::newRow("double untouched") << int(InputDouble) << 1 << true << "" << QSize(1920, 1080);
    }
    void squeezedHalvesAreScaledBack()
    {
        QFETCH(int, mode);
        QFETCH(int, cameraId);
        QFETCH(bool, fullSize);
        QFETCH(QString, turn);
        QFETCH(QSize, output);
        // Each half holds a circle squeezed to half its width or height.
        cv::Mat image(1080, 1920, CV_8UC3, cv::Scalar(0, 0, 0));
        const bool sideBySide = mode == InputSideBySide;
        for (int half = 0; half < 2; ++half) {
            const cv::Point centre =
                sideBySide ? cv::Point(480 + 960 * half, 540) : cv::Point(960, 270 + 540 * half);
            cv::ellipse(image, centre, sideBySide ? cv::Size(150, 300) : cv::Size(300, 150), 0, 0, 360,
                        cv::Scalar(255, 255, 255), cv::FILLED);
        }
        Probe worker(cameraId);
        worker.setSettings(mode, transformOf(turn), transformOf(turn), fullSize);
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        const VideoFrame frame = frameWith(image);
        worker.start();
        worker.onNewInputFrameArrived(frame);
        QVERIFY(results.wait());
        const VideoFrame out = spy.at(0).at(0).value<VideoFrame>();
        compareFrameWords(out, frame);
        QCOMPARE(QSize(out.image.cols, out.image.rows), output);
        if (!fullSize || (mode != InputSideBySide && mode != InputUnderOver))
            return;
        // Scaled back, the circle is round again: as wide as it is high.
        cv::Mat grey;
        cv::cvtColor(out.image, grey, cv::COLOR_BGR2GRAY);
        const cv::Rect box = cv::boundingRect(grey > 128);
        QVERIFY2(qAbs(box.width - box.height) <= 4,
                 qPrintable(QString("%1 x %2").arg(box.width).arg(box.height)));
        QVERIFY(qAbs(box.width - 600) <= 4);
    }

    void emptyImagePassesThroughInEveryLayout_data()
    {
        QTest::addColumn<int>("mode");
        for (int mode : {InputIdentical, InputSideBySide, InputUnderOver, InputDouble})
            QTest::addRow("layout %d", mode) << mode;
    }
    void emptyImagePassesThroughInEveryLayout()
    {
        QFETCH(int, mode);
        Probe worker(1);
        FrameTransform turn;
        turn.rotateLeft = true;
        worker.setSettings(mode, turn, turn);
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        const VideoFrame frame = frameWith(cv::Mat(), 9);
        worker.start();
        worker.onNewInputFrameArrived(frame);
        QVERIFY(results.wait());
        const VideoFrame out = spy.at(0).at(0).value<VideoFrame>();
        QVERIFY(out.image.empty());
        compareFrameWords(out, frame);
    }

    void transformsMovePixelsAsDocumented_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("equivalent"); // a shorter sequence with the same result, or ""
        QTest::newRow("rotate left") << "L"
                                     << "";
        QTest::newRow("rotate right") << "R"
                                      << "";
        QTest::newRow("rotate 180") << "8"
                                    << "";
        QTest::newRow("flip horizontal") << "H"
                                         << "";
        QTest::newRow("flip vertical") << "V"
                                       << "";
        QTest::newRow("left and right cancel") << "LR"
                                               << "-";
        QTest::newRow("180 and horizontal") << "8H"
                                            << "V";
        QTest::newRow("both flips") << "HV"
                                    << "8";
        QTest::newRow("left then vertical") << "LV"
                                            << "";
        QTest::newRow("right, 180, horizontal") << "R8H"
                                                << "";
        QTest::newRow("all five") << "LR8HV"
                                  << "-";
    }
    void transformsMovePixelsAsDocumented()
    {
        QFETCH(QString, steps);
        QFETCH(QString, equivalent);
        const cv::Mat input = numberedImage(3, 5);
        cv::Mat expected = input.clone();
        const QList<QPair<QChar, const Mapping*>> order = {{'L', &rotateLeftMap},
                                                           {'R', &rotateRightMap},
                                                           {'8', &rotate180Map},
                                                           {'H', &flipHorizontalMap},
                                                           {'V', &flipVerticalMap}};
        for (const auto& step : order)
            if (steps.contains(step.first))
                expected = mapped(expected, *step.second);

        cv::Mat image = input.clone();
        QVERIFY(applyTransform(image, transformOf(steps)));
        QVERIFY(sameContent(image, expected));
        if (equivalent == "-") {
            QVERIFY(sameContent(image, input));
        } else if (!equivalent.isEmpty()) {
            cv::Mat other = input.clone();
            QVERIFY(applyTransform(other, transformOf(equivalent)));
            QVERIFY(sameContent(image, other));
        }
    }

    void turnsOfAFullHdPicture()
    {
        const cv::Mat input = numberedImage(1080, 1920);
        cv::Mat left = input.clone();
        applyTransform(left, transformOf("L"));
        QCOMPARE(left.rows, 1920);
        QCOMPARE(left.cols, 1080);
        QCOMPARE(left.at<cv::Vec3b>(0, 0), input.at<cv::Vec3b>(0, 1919)); // top right goes to top left
        cv::Mat right = input.clone();
        applyTransform(right, transformOf("R"));
        QCOMPARE(right.at<cv::Vec3b>(0, 1079), input.at<cv::Vec3b>(0, 0)); // top left goes to top right
    }

    void nothingToTransformIsRefused()
    {
        cv::Mat empty;
        QVERIFY(!applyTransform(empty, transformOf("LH")));
        QVERIFY(empty.empty());
    }

    void eachCameraUsesItsOwnTransform_data()
    {
        QTest::addColumn<int>("cameraId");
        QTest::addColumn<QString>("expectedSteps");
        QTest::newRow("left camera") << 0 << "H";
        QTest::newRow("right camera") << 1 << "L";
    }
    void eachCameraUsesItsOwnTransform()
    {
        QFETCH(int, cameraId);
        QFETCH(QString, expectedSteps);
        Probe worker(cameraId);
        worker.setSettings(InputDouble, transformOf("H"), transformOf("L"));
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        const cv::Mat input = numberedImage(4, 6);
        worker.start();
        worker.onNewInputFrameArrived(frameWith(input.clone()));
        QVERIFY(results.wait());
        cv::Mat expected = input.clone();
        applyTransform(expected, transformOf(expectedSteps));
        QVERIFY(sameContent(spy.at(0).at(0).value<VideoFrame>().image, expected));
    }

    void flippedHalfLeavesTheOtherHalfAlone()
    {
        // Halves are flipped in the received pixels; the other camera's half must not change.
        Probe worker(0);
        worker.setSettings(InputSideBySide, transformOf("8H"), FrameTransform());
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        const cv::Mat input = numberedImage(6, 9);
        const cv::Mat before = input.clone();
        worker.start();
        worker.onNewInputFrameArrived(frameWith(input));
        QVERIFY(results.wait());
        QVERIFY(worker.waitIdle());
        QVERIFY(sameContent(input(cv::Rect(4, 0, 5, 6)), before(cv::Rect(4, 0, 5, 6))));
    }

    void identicalGivesEachCameraItsOwnCopy()
    {
        Probe left(0), right(1);
        QSignalSpy leftSpy(&left, &ImgPreprocessingThread::newProcessingResults);
        QSignalSpy rightSpy(&right, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter leftResults(&left, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter rightResults(&right, &ImgPreprocessingThread::newProcessingResults);
        for (Probe* worker : {&left, &right}) {
            worker->setSettings(InputIdentical, FrameTransform(), FrameTransform());
            worker->start();
        }
        const VideoFrame frame = frameWith(numberedImage(1080, 1920));
        left.onNewInputFrameArrived(frame);
        right.onNewInputFrameArrived(frame);
        QVERIFY(leftResults.wait());
        QVERIFY(rightResults.wait());
        const cv::Mat a = leftSpy.at(0).at(0).value<VideoFrame>().image;
        const cv::Mat b = rightSpy.at(0).at(0).value<VideoFrame>().image;
        QVERIFY(a.data != b.data);
        QVERIFY(a.data != frame.image.data && b.data != frame.image.data);
        QVERIFY(sameContent(a, b));
        QVERIFY(sameContent(a, frame.image));
    }

    void frameOfferedWhilePendingIsDropped()
    {
        Probe worker(0);
        worker.setSettings(InputDouble, FrameTransform(), FrameTransform());
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        // Not started yet: the first frame stays pending, the second is dropped
        // without a trace although the settings changed in between.
        worker.onNewInputFrameArrived(frameWith(numberedImage(2, 3), 1));
        worker.setSettings(InputDouble, transformOf("H"), FrameTransform());
        worker.onNewInputFrameArrived(frameWith(numberedImage(2, 3), 2));
        QCOMPARE(log->count("frame.data ="), 1);
        worker.start();
        QVERIFY(results.wait());
        const VideoFrame first = spy.at(0).at(0).value<VideoFrame>();
        QCOMPARE(first.timecode, frameWith(cv::Mat(), 1).timecode);
        cv::Mat flipped = numberedImage(2, 3);
        applyTransform(flipped, transformOf("H"));
        QVERIFY(sameContent(first.image, flipped)); // the settings at handling time count
        QVERIFY(worker.waitIdle());
        worker.onNewInputFrameArrived(frameWith(numberedImage(2, 3), 3));
        QVERIFY(results.wait());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).value<VideoFrame>().timecode, frameWith(cv::Mat(), 3).timecode);
        QCOMPARE(log->count("ImgProcessingThread::run() - ID:"), 2);
    }

    void everyFrameOfferedAfterTheLastIsHandled()
    {
        Probe worker(1);
        worker.setSettings(InputSideBySide, FrameTransform(), transformOf("R"));
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        worker.start();
        for (uint32_t i = 0; i < 20; ++i) {
            worker.onNewInputFrameArrived(frameWith(numberedImage(8, 16), i));
            QVERIFY(results.wait());
            QVERIFY(worker.waitIdle());
        }
        QCOMPARE(spy.count(), 20);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(spy.at(i).at(0).value<VideoFrame>().streamTime, frameWith(cv::Mat(), i).streamTime);
    }

    void openCvErrorIsLoggedAndTheWorkerGoesOn()
    {
        Probe worker(0);
        worker.setSettings(InputSideBySide, FrameTransform(), FrameTransform());
        QSignalSpy spy(&worker, &ImgPreprocessingThread::newProcessingResults);
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        worker.start();
        const int sizes[] = {2, 4, 4};
        worker.onNewInputFrameArrived(frameWith(cv::Mat(3, sizes, CV_8UC3, cv::Scalar::all(0)))); // no halves
        QTRY_VERIFY(log->count("ImgProcessingThread - frame not handled:") == 1);
        QVERIFY(worker.waitIdle());
        worker.onNewInputFrameArrived(frameWith(numberedImage(4, 4)));
        QVERIFY(results.wait());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<VideoFrame>().image.cols, 2);
    }

    void stopEndsRunAndLogs()
    {
        Probe worker(0);
        worker.start();
        worker.stop();
        QVERIFY(worker.wait(10000));
        QCOMPARE(log->count("ImgProcessingThread - stopped"), 1);
    }

    void startStopCycles()
    {
        Probe worker(0);
        worker.setSettings(InputUnderOver, transformOf("V"), FrameTransform());
        EmissionWaiter results(&worker, &ImgPreprocessingThread::newProcessingResults);
        const VideoFrame frame = frameWith(numberedImage(16, 16));
        ::startStopCycles(worker, results, 2000, [&] { worker.onNewInputFrameArrived(frame); });
    }

private:
    std::unique_ptr<MessageLog> log;
};

QTEST_GUILESS_MAIN(TestImgPreprocessingThread)
#include "tst_imgpreprocessingthread.moc"
