#pragma once

#include "camerasync/motionoffset.h"
#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>
#include <deque>
#include <utility>

Q_DECLARE_METATYPE(MotionOffset)

// Estimates the cameras' offset from motion (MotionOffsetEstimator) in a
// thread of its own, so that neither the window nor capture waits for it.
//
// The frames are offered from the threads that make them, the left and the
// right side apart; the newest frame of each side is paired with the next
// one of the other side. The offer keeps every few pixels of a large
// picture (a copy of 256 columns, a few hundredths of a millisecond), so no
// card's picture waits here; the small pictures the estimate averages are
// made in this thread. Pairs wait
// in a short queue; when the thread falls behind, the oldest are dropped and
// the series starts afresh, as the change across a gap is no frame-to-frame
// change. Every kPairsPerEstimate pairs it emits the estimate.
class MotionOffsetThread : public WorkerThread
{
    Q_OBJECT
public:
    static constexpr int kPairsPerEstimate = 6;
    static constexpr size_t kQueuedPairs = 8;

    explicit MotionOffsetThread(QObject* parent = nullptr);
    ~MotionOffsetThread() override;

    // Any thread. A frame without signal breaks the series.
    void offerLeft(const VideoFrame& frame) { offer(0, frame); }
    void offerRight(const VideoFrame& frame) { offer(1, frame); }
    // Forgets the frames offered and the series: capture starts afresh. Any thread.
    void restart();

signals:
    void offsetEstimated(MotionOffset offset);

private:
    void offer(int side, const VideoFrame& frame);
    void handleInput() override;

    // Under frameMutex.
    QMutex frameMutex;
    cv::Mat waiting[2]; // the newest frame of each side, not yet paired
    std::deque<std::pair<cv::Mat, cv::Mat>> pairs;
    bool seriesBroken = false;

    // The worker thread's own.
    MotionOffsetEstimator estimator;
    int pairsSinceEstimate = 0;
};
