#pragma once

#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"
#include "scene/scenealignment.h"
#include "scene/scenepacer.h"

#include <QElapsedTimer>
#include <QMutex>
#include <deque>

Q_DECLARE_METATYPE(SceneMeasurement)

// Measures the alignment from the scene on pairs of processed frames, beside
// the board detection: on the instants the board is looked for (time label
// frame number a multiple of 5), five pairs a second on average at most (see
// ScenePacer), so that it takes about one core at most and capture keeps
// delivering.
//
// The two sides are paired by time label as they arrive, in the thread the
// slots run in: each side keeps its last few candidate frames, so a side that
// runs a frame or two behind still pairs; a pair made takes the partner and
// the older frames of its side out of waiting, as each side arrives in
// order and those can pair no more. A complete pair goes to the
// one-pair mailbox; a pair that arrives while one is measured is dropped.
class SceneThread : public WorkerThread
{
    Q_OBJECT
public:
    explicit SceneThread(QObject* parent = nullptr);
    ~SceneThread() override;

    // How the processed pictures relate to the cameras' full pictures, for the
    // next measurements. Any thread.
    void setFullSizeScale(FullSizeScale scale);
    // Lets go of the frames waiting for a partner: their partners come no
    // more once the route that feeds the thread is cut.
    void forgetWaitingFrames();

signals:
    void newSceneResults(VideoFrame leftFrame, VideoFrame rightFrame, SceneMeasurement measurement);

public slots:
    void onNewLeftInputFrameArrived(VideoFrame frame);
    void onNewRightInputFrameArrived(VideoFrame frame);

private:
    void offerFrame(std::deque<VideoFrame>& side, std::deque<VideoFrame>& other,
                    const VideoFrame& frame, bool frameIsLeft);
    void handleInput() override;

    // Pairing: only under pairingMutex.
    QMutex pairingMutex;
    std::deque<VideoFrame> waitingLeft, waitingRight;
    QElapsedTimer clock;
    ScenePacer pacer;

    // The mailbox and the settings, under frameMutex.
    QMutex frameMutex;
    VideoFrame leftFrame, rightFrame;
    FullSizeScale scale;
};
