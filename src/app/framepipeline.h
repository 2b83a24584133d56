#pragma once

#include "app/inputmonitor.h"
#include "app/signalroute.h"
#include "calibration/calibrationpairing.h"
#include "calibration/calibrationthread.h"
#include "camerasync/motionoffsetthread.h"
#include "disparity/disparitymapthread.h"
#include "disparity/synchronizationthread.h"
#include "preprocessing/imgpreprocessingthread.h"
#include "scene/scenethread.h"

#include <QObject>
#include <memory>
#include <vector>

// The six workers between the cards and the views, and the routes between
// them. A card feeds the preprocessing thread of its side; their results go
// to one branch at a time: the live views, the calibration threads, or the
// synchronisation and disparity threads. The two calibration results are
// paired by time label here before they reach their views. The views are the
// objects of the window's tabs with the result slots (onNewLeftRawFrameArrived
// (VideoFrame) and the rest); the workers reach them by queued calls. Lives in
// the GUI thread; tests find it as the window's child of this type.
class FramePipeline : public QObject
{
    Q_OBJECT

public:
    enum class Side
    {
        Left,
        Right
    };
    // What the preprocessed frames feed, one per tab of the window.
    enum class Branch
    {
        None,
        LiveViews,
        Calibration,
        Disparity
    };

    // Where each branch's results are shown: the live frames
    // (onNewLeftRawFrameArrived(VideoFrame), onNewRightRawFrameArrived(VideoFrame)),
    // the paired calibration results (showCalibrationResults(CalibrationPair)) and
    // the disparity analyses (onDisparityPreview(VideoFrame, VideoFrame) and the rest).
    struct Views
    {
        const QObject* live = nullptr;
        const QObject* calibration = nullptr;
        const QObject* disparity = nullptr;
    };

    explicit FramePipeline(QObject* parent);
    // Each worker is stopped and joined, the preprocessing threads first, so
    // no frame reaches a worker that is already gone.
    ~FramePipeline() override;

    ImgPreprocessingThread* preprocessing(Side side) const { return m_preprocessing[int(side)].get(); }
    CalibrationThread* calibration(Side side) const { return m_calibration[int(side)].get(); }
    // Beside the board detection: the alignment measured from the scene.
    SceneThread* scene() const { return m_scene.get(); }
    SynchronizationThread* synchronization() const { return m_synchronization.get(); }
    DisparityMapThread* disparityMap() const { return m_disparityMap.get(); }
    CalibrationPairing* calibrationPairing() const { return m_calibrationPairing.get(); }
    // The account of the fed cards' frames and of the pairs made, for the tabs to show.
    InputMonitor* monitor() const { return m_monitor; }
    // While capture runs, on every processed pair whatever the branch: the
    // cameras' offset from motion, reported to the monitor.
    MotionOffsetThread* motionOffset() const { return m_motionOffset.get(); }

    // Set once, before the first feed; the paired calibration results go to
    // their view from then on.
    void setViews(const Views& views);

    // Both preprocessing threads take the same input layout and transforms.
    // fullSizeHalves: the halves of a side-by-side or under/over frame are
    // squeezed views, scaled back to the full picture's aspect.
    void setPreprocessingSettings(int inputMode, const FrameTransform& left, const FrameTransform& right,
                                  bool fullSizeHalves = false);

    // Capture of one side: the frames of card (a newFrameArrived(VideoFrame)
    // signal) go to the side's preprocessing thread, its results to the side's
    // live view, and the thread runs. Each link is made once, however often a
    // start is attempted.
    void feed(Side side, const QObject* card);
    // Joins both preprocessing threads, then cuts every card link that feed
    // made and the live views' route. The branch made last stays as it is,
    // but its live analysis ends.
    void stopFeeding();
    // From the first feed until stopFeeding: the branch follows the tab only meanwhile.
    bool isFed() const { return m_fed; }

    // Every route is cut and every analysis worker has left its loop before
    // the route of branch is made and its workers start. Any branch but the
    // disparity one ends live analysis.
    void switchTo(Branch branch);

private:
    // A branch's links and the workers it runs, in the order they start.
    struct BranchRoute
    {
        SignalRoute links;
        std::vector<WorkerThread*> workers;
    };
    BranchRoute route(Branch branch) const;
    SignalLink liveViewLink(Side side) const;

    Views m_views;
    // Left and right.
    std::unique_ptr<ImgPreprocessingThread> m_preprocessing[2];
    std::unique_ptr<CalibrationThread> m_calibration[2];
    std::unique_ptr<SceneThread> m_scene;
    std::unique_ptr<SynchronizationThread> m_synchronization;
    std::unique_ptr<DisparityMapThread> m_disparityMap;
    std::unique_ptr<CalibrationPairing> m_calibrationPairing;
    std::unique_ptr<MotionOffsetThread> m_motionOffset;
    InputMonitor* m_monitor = nullptr;
    // The card each side is fed by since the last stop.
    const QObject* m_fedCards[2] = {nullptr, nullptr};
    // The card links made since the last stop, cut by handle: a card may be
    // gone by then.
    std::vector<QMetaObject::Connection> m_cardLinks;
    bool m_fed = false;
};
