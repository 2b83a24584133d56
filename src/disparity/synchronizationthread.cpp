#include "disparity/synchronizationthread.h"
#include "pipeline/logcategories.h"

SynchronizationThread::SynchronizationThread(QObject* parent)
    : WorkerThread("SynchronizationThread", lcSynchronization, parent)
{}

SynchronizationThread::~SynchronizationThread()
{
    stop();
    wait();
}

void SynchronizationThread::onNewLeftInputFrameArrived(VideoFrame frame)
{
    storeFrame(leftFrame, frame, "SynchronizationThread::onNewLeftInputFrameArrived");
}

void SynchronizationThread::onNewRightInputFrameArrived(VideoFrame frame)
{
    storeFrame(rightFrame, frame, "SynchronizationThread::onNewRightInputFrameArrived");
}

void SynchronizationThread::storeFrame(VideoFrame& side, const VideoFrame& frame, const char* slotName)
{
    offerNewestInput([&] {
        qCDebug(lcSynchronization) << slotName
                                   << "- frame.data =" << static_cast<const void*>(frame.image.data);
        QMutexLocker lock(&framesMutex);
        side = frame;
    });
}

void SynchronizationThread::handleInput()
{
    VideoFrame left, right;
    {
        // Copies share the pixels; the slots may store newer frames meanwhile.
        QMutexLocker lock(&framesMutex);
        left = leftFrame;
        right = rightFrame;
    }
    // A side without a picture (nothing stored yet, or an empty frame) has
    // no instant to match: its zero time words would pair with any other.
    if (left.image.empty() || right.image.empty() || !haveSameTimeLabel(left, right))
        return;
    qCDebug(lcSynchronization) << "SynchronizationThread::run() - ID:" << QThread::currentThreadId();
    emit newSynchronizedFrames(left, right);
}
