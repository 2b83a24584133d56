#include "camerasync/motionoffsetthread.h"

#include "pipeline/logcategories.h"

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
    offerNewestInput([&] {
        QMutexLocker lock(&frameMutex);
        if (frame.noInputSignal || frame.image.empty()) {
            waiting[0] = waiting[1] = cv::Mat();
            seriesBroken = true;
            return;
        }
        waiting[side] = frame.image;
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
