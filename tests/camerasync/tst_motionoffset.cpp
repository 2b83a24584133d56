// The camera offset read from motion: a scene of textured objects moving
// about, seen by a left and a right camera a few pixels of parallax apart,
// with the right (or the left) view delivered a known number of frames late;
// and a scene where nothing moves.

#include "camerasync/motionoffset.h"
#include "camerasync/motionoffsetthread.h"

#include <QtTest>
#include <opencv2/imgproc.hpp>
#include <optional>

namespace {

const cv::Size kPicture(320, 180);

// A picture of the scene at `frame`: a fixed textured background and four
// textured squares that wander on paths of their own, `parallax` pixels
// further left in the right camera, with the camera's own sensor noise.
cv::Mat renderScene(int frame, int parallax, unsigned noiseSeed, bool moving = true)
{
    cv::RNG texture(7);
    cv::Mat background(kPicture, CV_8UC3);
    texture.fill(background, cv::RNG::UNIFORM, 40, 200);
    cv::GaussianBlur(background, background, cv::Size(0, 0), 3);
    cv::Mat view = background.clone();
    const int t = moving ? frame : 0;
    for (int i = 0; i < 4; ++i) {
        cv::Mat patch(40, 40, CV_8UC3);
        texture.fill(patch, cv::RNG::UNIFORM, 0, 255);
        // Paths of unrelated periods, so that no shift of a few frames repeats them.
        const double x = 140 + 110 * std::sin(0.071 * t * (i + 1) + i) + 25 * std::sin(0.23 * t + 2 * i);
        const double y = 70 + 55 * std::cos(0.053 * t * (i + 2) + 3 * i);
        const cv::Rect place(int(x) - parallax, int(y), patch.cols, patch.rows);
        const cv::Rect inside = place & cv::Rect(0, 0, kPicture.width, kPicture.height);
        patch(cv::Rect(inside.tl() - place.tl(), inside.size())).copyTo(view(inside));
    }
    cv::Mat noise(kPicture, CV_16SC3);
    cv::RNG(noiseSeed + 7919u * unsigned(frame)).fill(noise, cv::RNG::NORMAL, 0, 3);
    cv::Mat noisy;
    view.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(view, CV_8UC3);
    return view;
}

// Feeds `frames` pairs; the right view shows the scene `delay` frames after
// the left one shows it (negative: the left view is late).
MotionOffset estimateFor(int delay, int frames, bool moving = true)
{
    MotionOffsetEstimator estimator(150, 5);
    const int start = 10; // so that a late view never shows a frame before the first
    for (int k = start; k < start + frames; ++k)
        estimator.addFrames(renderScene(delay < 0 ? k + delay : k, 0, 1, moving),
                            renderScene(delay > 0 ? k - delay : k, 6, 2, moving));
    return estimator.estimate();
}

// Offers `pairs` pairs to the thread as estimateFor makes them, from frame
// `from` on, a batch of kPairsPerEstimate at a time: each batch is waited for
// (its estimate comes), so the thread never falls behind and drops pairs.
// The last estimate, or none when one did not come.
std::optional<MotionOffset> estimateInThread(MotionOffsetThread& thread, int delay, int from, int pairs,
                                             bool moving = true)
{
    QSignalSpy estimates(&thread, &MotionOffsetThread::offsetEstimated);
    for (int k = from; k < from + pairs; ++k) {
        VideoFrame left, right;
        left.image = renderScene(delay < 0 ? k + delay : k, 0, 1, moving);
        right.image = renderScene(delay > 0 ? k - delay : k, 6, 2, moving);
        thread.offerLeft(left);
        thread.offerRight(right);
        const int batches = (k - from + 1) / MotionOffsetThread::kPairsPerEstimate;
        if ((k - from + 1) % MotionOffsetThread::kPairsPerEstimate == 0 &&
            !QTest::qWaitFor([&] { return estimates.count() >= batches; }, 20000))
            return std::nullopt;
    }
    if (estimates.isEmpty())
        return std::nullopt;
    return estimates.constLast().at(0).value<MotionOffset>();
}

} // namespace

class TestMotionOffset : public QObject
{
    Q_OBJECT
private slots:
    void findsTheDelayOfOneView_data()
    {
        QTest::addColumn<int>("delay");
        QTest::newRow("in step") << 0;
        QTest::newRow("right 1 frame late") << 1;
        QTest::newRow("right 2 frames late") << 2;
        QTest::newRow("left 1 frame late") << -1;
        QTest::newRow("right 5 frames late, the largest shift tried") << 5;
    }

    void findsTheDelayOfOneView()
    {
        QFETCH(int, delay);
        const MotionOffset offset = estimateFor(delay, 120);
        QCOMPARE(offset.status, MotionOffset::Status::Measured);
        QCOMPARE(offset.frames, delay);
        QVERIFY2(offset.confidence > 0.3, qPrintable(QString::number(offset.confidence)));
        QVERIFY(offset.correlation > 0.5);
    }

    void aStillSceneGivesNoOffset()
    {
        const MotionOffset offset = estimateFor(1, 120, false);
        QCOMPARE(offset.status, MotionOffset::Status::StillScene);
        QCOMPARE(motionOffsetText(offset), QStringLiteral("unknown: the scene is still"));
    }

    void waitsForEnoughFrames()
    {
        // 4 x 5 + 10 changes need 31 pictures.
        QCOMPARE(estimateFor(1, 30).status, MotionOffset::Status::TooFewFrames);
        QCOMPARE(estimateFor(1, 31).status, MotionOffset::Status::Measured);
    }

    void aNewPictureSizeStartsAfresh()
    {
        MotionOffsetEstimator estimator(150, 5);
        for (int k = 0; k < 40; ++k)
            estimator.addFrames(renderScene(k, 0, 1), renderScene(k, 6, 2));
        QCOMPARE(estimator.framesKept(), 39);
        cv::Mat larger;
        cv::resize(renderScene(40, 0, 1), larger, cv::Size(640, 360));
        estimator.addFrames(larger, larger);
        QCOMPARE(estimator.framesKept(), 0);
        QCOMPARE(estimator.estimate().status, MotionOffset::Status::TooFewFrames);
    }

    void keepsOnlyTheWindow()
    {
        MotionOffsetEstimator estimator(40, 5);
        for (int k = 0; k < 100; ++k)
            estimator.addFrames(renderScene(k, 0, 1), renderScene(k, 6, 2));
        QCOMPARE(estimator.framesKept(), 40);
    }

    // The window's estimate: the same offsets from frames offered one side at
    // a time to the thread, which makes the small pictures itself.
    void theThreadFindsTheDelay_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("moving");
        QTest::addColumn<int>("status");
        QTest::newRow("in step") << 0 << true << int(MotionOffset::Status::Measured);
        QTest::newRow("right 1 frame late") << 1 << true << int(MotionOffset::Status::Measured);
        QTest::newRow("right 2 frames late") << 2 << true << int(MotionOffset::Status::Measured);
        QTest::newRow("left 2 frames late") << -2 << true << int(MotionOffset::Status::Measured);
        QTest::newRow("still scene") << 1 << false << int(MotionOffset::Status::StillScene);
    }

    void theThreadFindsTheDelay()
    {
        QFETCH(int, delay);
        QFETCH(bool, moving);
        QFETCH(int, status);
        MotionOffsetThread thread;
        thread.start();
        const std::optional<MotionOffset> offset = estimateInThread(thread, delay, 10, 60, moving);
        QVERIFY(offset);
        QCOMPARE(int(offset->status), status);
        if (offset->measured()) {
            QCOMPARE(offset->frames, delay);
            QVERIFY2(offset->confidence > 0.3, qPrintable(QString::number(offset->confidence)));
        }
    }

    void aFrameWithoutSignalStartsTheSeriesAfresh()
    {
        MotionOffsetThread thread;
        thread.start();
        std::optional<MotionOffset> offset = estimateInThread(thread, 1, 10, 60);
        QVERIFY(offset);
        QCOMPARE(offset->status, MotionOffset::Status::Measured);
        VideoFrame lost;
        lost.noInputSignal = true;
        thread.offerLeft(lost);
        // Too few pairs since the gap, where without it there would be plenty.
        offset = estimateInThread(thread, 1, 70, 12);
        QVERIFY(offset);
        QCOMPARE(offset->status, MotionOffset::Status::TooFewFrames);
    }

    void saysTheOffsetInWords_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("in step") << 0 << 25.0 << "in step";
        QTest::newRow("right late") << 1 << 25.0 << "right 1 frame late (40 ms)";
        QTest::newRow("left late") << -2 << 50.0 << "left 2 frames late (40 ms)";
        QTest::newRow("rate unknown") << 3 << 0.0 << "right 3 frames late";
    }

    void saysTheOffsetInWords()
    {
        QFETCH(int, frames);
        QFETCH(double, rate);
        QFETCH(QString, text);
        MotionOffset offset;
        offset.status = MotionOffset::Status::Measured;
        offset.frames = frames;
        QCOMPARE(motionOffsetText(offset, rate), text);
    }
};

QTEST_MAIN(TestMotionOffset)
#include "tst_motionoffset.moc"
