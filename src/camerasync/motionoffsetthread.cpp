#include "camerasync/motionoffsetthread.h"

#include "pipeline/logcategories.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

// The estimate averages cells of a picture 64 pixels wide. Averaging a full
// HD picture down to it costs a few milliseconds a frame; taking every nth
// pixel first, down to this width, costs some hundredths of one (37 000
// pixels copied) and leaves each cell some hundreds of pixels to average.
constexpr int kThinnedWidth = 256;

cv::Mat thinned(const cv::Mat& picture)
{
    if (picture.cols <= kThinnedWidth)
        return picture;
    const int height = std::max(1, int(std::lround(double(kThinnedWidth) * picture.rows / picture.cols)));
    cv::Mat thin;
    cv::resize(picture, thin, cv::Size(kThinnedWidth, height), 0, 0, cv::INTER_NEAREST);
    return thin;
}

} // namespace

MotionOffsetThread::MotionOffsetThread(QObject* parent)
    : WorkerThread("MotionOffsetThread", lcSynchronization, parent)
{
    qRegisterMetaType<MotionOffset>("MotionOffset");
}

MotionOffsetThread::~MotionOffsetThread()
{
    stop();
    wait();
}

void MotionOffsetThread::restart()
{
    QMutexLocker lock(&frameMutex);
    waiting[0] = waiting[1] = cv::Mat();
    pairs.clear();
    seriesBroken = true;
}

void MotionOffsetThread::offer(int side, const VideoFrame& frame)
{
    // Thinned here: what waits in the queue is small, and no card's picture is held.
    const cv::Mat picture = frame.noInputSignal ? cv::Mat() : thinned(frame.image);
    offerNewestInput([&] {
        QMutexLocker lock(&frameMutex);
        if (picture.empty()) {
            waiting[0] = waiting[1] = cv::Mat();
            seriesBroken = true;
            return;
        }
        waiting[side] = picture;
        if (waiting[0].empty() || waiting[1].empty())
            return;
        pairs.emplace_back(waiting[0], waiting[1]);
        waiting[0] = waiting[1] = cv::Mat();
        if (pairs.size() > kQueuedPairs) {
            pairs.pop_front();
            seriesBroken = true;
        }
    });
}

void MotionOffsetThread::handleInput()
{
    std::deque<std::pair<cv::Mat, cv::Mat>> taken;
    bool broken = false;
    {
        QMutexLocker lock(&frameMutex);
        taken.swap(pairs);
        broken = std::exchange(seriesBroken, false);
    }
    if (broken) {
        qCDebug(lcSynchronization) << "MotionOffsetThread - series broken, starting afresh";
        estimator.clear();
        pairsSinceEstimate = 0;
    }
    for (const auto& [left, right] : taken) {
        estimator.addFrames(left, right);
        if (++pairsSinceEstimate >= kPairsPerEstimate) {
            pairsSinceEstimate = 0;
            emit offsetEstimated(estimator.estimate());
        }
    }
}
