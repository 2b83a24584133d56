#pragma once

#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>

// Turns the left and right streams of processed frames into stereo pairs of
// the same instant. Keeps only the newest frame of each side; every accepted
// frame leads to one comparison of the newest left with the newest right
// frame, and equal time labels are emitted as a pair. One pending flag for
// both sides: a frame of either side offered while one is pending is dropped.
class SynchronizationThread : public WorkerThread
{
    Q_OBJECT
public:
    explicit SynchronizationThread(QObject* parent = nullptr);
    ~SynchronizationThread() override;

signals:
    void newSynchronizedFrames(VideoFrame leftRawFrame, VideoFrame rightRawFrame);

public slots:
    void onNewLeftInputFrameArrived(VideoFrame frame);
    void onNewRightInputFrameArrived(VideoFrame frame);

private:
    void offerFrame(VideoFrame& side, const VideoFrame& frame, const char* slotName);
    void handleInput() override;

    VideoFrame leftFrame;  // empty, all words 0, until a left frame is accepted
    VideoFrame rightFrame; // likewise for the right side
    QMutex framesMutex;
};
