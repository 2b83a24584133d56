#include "calibration/calibrationpairing.h"
#include "pipeline/logcategories.h"

#include <QCoreApplication>
#include <utility>

void CalibrationPairing::clear()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_latest = CalibrationPair();
}

void CalibrationPairing::onNewLeftCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                                            std::vector<DetectedRectangle> rectangles)
{
    qCDebug(lcWindow) << "onNewLeftCalibrationResultsArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    m_latest.left = {std::move(rawFrame), std::move(processedFrame), std::move(rectangles)};
    reportWhenPaired();
}

void CalibrationPairing::onNewRightCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                                             std::vector<DetectedRectangle> rectangles)
{
    qCDebug(lcWindow) << "onNewRightCalibrationResultsArrived - rawFrame.data ="
                      << static_cast<const void*>(rawFrame.image.data);
    m_latest.right = {std::move(rawFrame), std::move(processedFrame), std::move(rectangles)};
    reportWhenPaired();
}

void CalibrationPairing::reportWhenPaired()
{
    const bool noSignal = m_latest.left.raw.noInputSignal || m_latest.right.raw.noInputSignal;
    // Until the other side's result of the same instant arrives, this one waits.
    if (noSignal || haveSameTimeLabel(m_latest.left.raw, m_latest.right.raw))
        emit resultsPaired(m_latest);
}
