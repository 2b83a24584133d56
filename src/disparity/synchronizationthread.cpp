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
    offerFrame(leftFrame, frame, "SynchronizationThread::onNewLeftInputFrameArrived");
}

void SynchronizationThread::onNewRightInputFrameArrived(VideoFrame frame)
{
    offerFrame(rightFrame, frame, "SynchronizationThread::onNewRightInputFrameArrived");
}

void SynchronizationThread::offerFrame(VideoFrame& side, const VideoFrame& frame, const char* slotName)
{
    const bool accepted = offerInput([&] {
        qCDebug(lcSynchronization) << slotName
                                   << "- frame.data =" << static_cast<const void*>(frame.image.data);
        QMutexLocker lock(&framesMutex);
        side = frame;
    });
    if (!accepted)
        qCDebug(lcSynchronization) << slotName << "- BUSY, frame not taken";
}

void SynchronizationThread::handleInput()
{
    QMutexLocker lock(&framesMutex);
    // A side without a picture (nothing accepted yet, or an empty frame) has
    // no instant to match: its zero time words would pair with any other.
    if (leftFrame.image.empty() || rightFrame.image.empty() || !haveSameTimeLabel(leftFrame, rightFrame))
        return;
    qCDebug(lcSynchronization) << "SynchronizationThread::run() - ID:" << QThread::currentThreadId();
    emit newSynchronizedFrames(leftFrame, rightFrame);
}
