#include "app/framepipeline.h"

namespace {

// Stops a running worker and waits until it has left its loop.
void join(WorkerThread* worker)
{
    if (worker->isRunning()) {
        worker->stop();
        worker->wait();
    }
}

} // namespace

FramePipeline::FramePipeline(QObject* parent)
    : QObject(parent), m_preprocessing{std::make_unique<ImgPreprocessingThread>(0),
                                       std::make_unique<ImgPreprocessingThread>(1)},
      m_calibration{std::make_unique<CalibrationThread>(), std::make_unique<CalibrationThread>()},
      m_scene(std::make_unique<SceneThread>()), m_synchronization(std::make_unique<SynchronizationThread>()),
      m_disparityMap(std::make_unique<DisparityMapThread>()),
      m_calibrationPairing(std::make_unique<CalibrationPairing>()),
      m_motionOffset(std::make_unique<MotionOffsetThread>()), m_monitor(new InputMonitor(this))
{
    // Frames and calibration results cross threads through queued connections
    // made by signature string.
    qRegisterMetaType<VideoFrame>("VideoFrame");
    qRegisterMetaType<std::vector<DetectedRectangle>>("std::vector<DetectedRectangle>");
    // The calibration branch's pairs; the disparity tab reports those of the synchronisation.
    connect(m_calibrationPairing.get(), &CalibrationPairing::resultsPaired, m_monitor,
            &InputMonitor::onPairMade);
    // The offer only takes a reference to the picture, in the preprocessing
    // thread that made it: no queue through the window's thread.
    MotionOffsetThread* const motion = m_motionOffset.get();
    connect(
        preprocessing(Side::Left), &ImgPreprocessingThread::newProcessingResults, motion,
        [motion](const VideoFrame& frame) { motion->offerLeft(frame); }, Qt::DirectConnection);
    connect(
        preprocessing(Side::Right), &ImgPreprocessingThread::newProcessingResults, motion,
        [motion](const VideoFrame& frame) { motion->offerRight(frame); }, Qt::DirectConnection);
    connect(motion, &MotionOffsetThread::offsetEstimated, m_monitor, &InputMonitor::onMotionOffset);
}

FramePipeline::~FramePipeline()
{
    for (auto& worker : m_preprocessing)
        worker.reset();
    for (auto& worker : m_calibration)
        worker.reset();
    m_scene.reset();
    m_synchronization.reset();
    m_disparityMap.reset();
    m_motionOffset.reset();
}

void FramePipeline::setPreprocessingSettings(int inputMode, const FrameTransform& left,
                                             const FrameTransform& right, bool fullSizeHalves)
{
    for (auto& worker : m_preprocessing)
        worker->setSettings(inputMode, left, right, fullSizeHalves);
}

void FramePipeline::setViews(const Views& views)
{
    m_views = views;
    // Fed only while the calibration branch runs.
    connect(m_calibrationPairing.get(), SIGNAL(resultsPaired(CalibrationPair)), views.calibration,
            SLOT(showCalibrationResults(CalibrationPair)));
}

SignalLink FramePipeline::liveViewLink(Side side) const
{
    return {preprocessing(side), SIGNAL(newProcessingResults(VideoFrame)), m_views.live,
            side == Side::Left ? SLOT(onNewLeftRawFrameArrived(VideoFrame))
                               : SLOT(onNewRightRawFrameArrived(VideoFrame))};
}

void FramePipeline::feed(Side side, const QObject* card)
{
    if (!m_fed) {
        m_monitor->start();
        m_motionOffset->restart();
        m_motionOffset->start();
        m_fedCards[0] = m_fedCards[1] = nullptr;
    }
    m_fedCards[int(side)] = card;
    m_monitor->setOneCardForBoth(m_fedCards[0] == m_fedCards[1]);
    m_cardLinks.push_back(SignalLink{card, SIGNAL(newFrameArrived(VideoFrame)), m_monitor,
                                     side == Side::Left ? SLOT(onLeftFrameArrived(VideoFrame))
                                                        : SLOT(onRightFrameArrived(VideoFrame))}
                              .make());
    m_cardLinks.push_back(SignalLink{card, SIGNAL(newFrameArrived(VideoFrame)), preprocessing(side),
                                     SLOT(onNewInputFrameArrived(VideoFrame))}
                              .make());
    liveViewLink(side).make();
    preprocessing(side)->start();
    m_fed = true;
}

void FramePipeline::stopFeeding()
{
    m_disparityMap->stopLiveAnalysis(); // nothing more to analyse live
    for (auto& worker : m_preprocessing)
        join(worker.get());
    join(m_motionOffset.get());
    for (const QMetaObject::Connection& link : m_cardLinks)
        QObject::disconnect(link);
    m_cardLinks.clear();
    cutRoute(route(Branch::LiveViews).links);
    m_monitor->stop();
    m_fed = false;
}

FramePipeline::BranchRoute FramePipeline::route(Branch branch) const
{
    const char* const preprocessed = SIGNAL(newProcessingResults(VideoFrame));
    const char* const calibrated =
        SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>));
    const char* const synchronized = SIGNAL(newSynchronizedFrames(VideoFrame, VideoFrame));
    const QObject* const left = preprocessing(Side::Left);
    const QObject* const right = preprocessing(Side::Right);
    CalibrationThread* const leftCalibration = calibration(Side::Left);
    CalibrationThread* const rightCalibration = calibration(Side::Right);
    SynchronizationThread* const sync = m_synchronization.get();
    DisparityMapThread* const disparity = m_disparityMap.get();
    const QObject* const pairing = m_calibrationPairing.get();
    const QObject* const views = m_views.disparity;
    switch (branch) {
    case Branch::LiveViews:
        return {{liveViewLink(Side::Left), liveViewLink(Side::Right)}, {}};
    case Branch::Calibration:
        return {{{left, preprocessed, leftCalibration, SLOT(onNewInputFrameArrived(VideoFrame))},
                 {right, preprocessed, rightCalibration, SLOT(onNewInputFrameArrived(VideoFrame))},
                 {leftCalibration, calibrated, pairing,
                  SLOT(onNewLeftCalibrationResultsArrived(VideoFrame, VideoFrame,
                                                          std::vector<DetectedRectangle>))},
                 {rightCalibration, calibrated, pairing,
                  SLOT(onNewRightCalibrationResultsArrived(VideoFrame, VideoFrame,
                                                           std::vector<DetectedRectangle>))},
                 {left, preprocessed, scene(), SLOT(onNewLeftInputFrameArrived(VideoFrame))},
                 {right, preprocessed, scene(), SLOT(onNewRightInputFrameArrived(VideoFrame))},
                 {scene(), SIGNAL(newSceneResults(VideoFrame, VideoFrame, SceneMeasurement)),
                  m_views.calibration, SLOT(onNewSceneResults(VideoFrame, VideoFrame, SceneMeasurement))}},
                {leftCalibration, rightCalibration, scene()}};
    case Branch::Disparity:
        return {
            {{left, preprocessed, sync, SLOT(onNewLeftInputFrameArrived(VideoFrame))},
             {right, preprocessed, sync, SLOT(onNewRightInputFrameArrived(VideoFrame))},
             {sync, synchronized, disparity, SLOT(onNewInputFramesArrived(VideoFrame, VideoFrame))},
             {sync, synchronized, views, SLOT(onDisparityPreview(VideoFrame, VideoFrame))},
             {disparity,
              SIGNAL(newDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo)),
              views,
              SLOT(onNewDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo))},
             {disparity, SIGNAL(disparityMapFailed(QString)), views, SLOT(onDisparityMapFailed(QString))},
             {disparity,
              SIGNAL(newLiveDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo)),
              views,
              SLOT(onNewLiveDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo))},
             {disparity, SIGNAL(liveAnalysisFailed(QString)), views, SLOT(onLiveAnalysisFailed(QString))}},
            // Started in this order, stopped in the reverse one.
            {disparity, sync}};
    case Branch::None:
        break;
    }
    return {};
}

void FramePipeline::switchTo(Branch branch)
{
    // Live analysis belongs to the disparity branch: it ends when that is left.
    if (branch != Branch::Disparity)
        m_disparityMap->stopLiveAnalysis();
    for (Branch old : {Branch::LiveViews, Branch::Calibration, Branch::Disparity}) {
        const BranchRoute previous = route(old);
        for (auto worker = previous.workers.rbegin(); worker != previous.workers.rend(); ++worker)
            join(*worker);
        cutRoute(previous.links);
    }
    m_scene->forgetWaitingFrames();
    const BranchRoute next = route(branch);
    makeRoute(next.links);
    m_monitor->expectPairs();
    for (WorkerThread* worker : next.workers)
        worker->start();
}
