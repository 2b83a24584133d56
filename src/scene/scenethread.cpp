#include "scene/scenethread.h"

#include "pipeline/logcategories.h"

namespace {

// Candidate frames kept per side while waiting for the other side's frame
// of the same instant: a second at 25 frames per second.
constexpr size_t kWaitingFrames = 5;

} // namespace

SceneThread::SceneThread(QObject* parent) : WorkerThread("SceneThread", lcCalibration, parent)
{
    clock.start();
    qRegisterMetaType<VideoFrame>("VideoFrame");
    qRegisterMetaType<SceneMeasurement>("SceneMeasurement");
}

SceneThread::~SceneThread()
{
    stop();
    wait();
}

void SceneThread::setFullSizeScale(FullSizeScale fullSizeScale)
{
    QMutexLocker lock(&frameMutex);
    scale = fullSizeScale;
}

void SceneThread::onNewLeftInputFrameArrived(VideoFrame frame)
{
    offerFrame(waitingLeft, waitingRight, frame, true);
}

void SceneThread::onNewRightInputFrameArrived(VideoFrame frame)
{
    offerFrame(waitingRight, waitingLeft, frame, false);
}

void SceneThread::forgetWaitingFrames()
{
    QMutexLocker lock(&pairingMutex);
    waitingLeft.clear();
    waitingRight.clear();
}

void SceneThread::offerFrame(std::deque<VideoFrame>& side, std::deque<VideoFrame>& other,
                             const VideoFrame& frame, bool frameIsLeft)
{
    // A frame without a picture or a signal has no instant worth measuring.
    if (frame.image.empty() || frame.noInputSignal || timeLabelFrameNumber(frame) % 5 != 0)
        return;
    QMutexLocker lock(&pairingMutex);
    const auto match = std::find_if(other.begin(), other.end(), [&](const VideoFrame& waiting) {
        return haveSameTimeLabel(waiting, frame);
    });
    if (match == other.end()) {
        side.push_back(frame);
        if (side.size() > kWaitingFrames)
            side.pop_front();
        return;
    }
    const VideoFrame partner = *match;
    other.erase(other.begin(), match + 1);
    const qint64 now = clock.elapsed();
    if (!pacer.isDue(now))
        return;
    // The handling never takes pairingMutex, so offering under it is safe.
    const bool accepted = offerInput([&] {
        QMutexLocker frameLock(&frameMutex);
        leftFrame = frameIsLeft ? frame : partner;
        rightFrame = frameIsLeft ? partner : frame;
    });
    if (accepted)
        pacer.taken(now);
    else
        qCDebug(lcCalibration) << "SceneThread - BUSY, pair not taken";
}

void SceneThread::handleInput()
{
    QMutexLocker lock(&frameMutex);
    const SceneMeasurement measurement = measureScene(leftFrame.image, rightFrame.image, scale);
    qCDebug(lcCalibration) << "SceneThread: matches" << measurement.evidence.matches << "inliers"
                           << measurement.evidence.inliers << measurement.reason;
    emit newSceneResults(leftFrame, rightFrame, measurement);
}
