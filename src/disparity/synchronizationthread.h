#pragma once

#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>

// Turns the left and right streams of processed frames into stereo pairs of
// the same instant. Keeps only the newest frame of each side, and every frame
// is kept: one arriving while a comparison is pending replaces the older
// frame of its side, never the partner of the other side, so frames of both
// sides that arrive together (genlocked cameras) are compared together. Each
// handling compares the newest left with the newest right frame and emits
// equal time labels as a pair; frames that arrive during a handling lead to
// one more. No queue: at most one frame per side waits.
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
    void storeFrame(VideoFrame& side, const VideoFrame& frame, const char* slotName);
    void handleInput() override;

    VideoFrame leftFrame;  // empty, all words 0, until a left frame is accepted
    VideoFrame rightFrame; // likewise for the right side
    QMutex framesMutex;
};
