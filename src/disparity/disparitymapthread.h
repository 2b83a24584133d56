#pragma once

#include "disparity/disparitysettings.h"
#include "disparity/tesra_disparity_map.h"
#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>
#include <QString>
#include <optional>

// Runs the disparity analysis on request. Takes every synchronised pair; the
// first pair handled after calculate is analysed and its result emitted once,
// which uses the request up. Pairs without a request are thrown away, and a
// pair offered while one is pending (including during an analysis) is dropped.
//
// While live analysis is on, every pair handled without a request is analysed
// on pictures narrowed to 960 pixels, as often as the worker gets through
// them; a request still gets the next pair at full size. Live results are
// never saved, so they travel through signals of their own.
class DisparityMapThread : public WorkerThread
{
    Q_OBJECT
public:
    explicit DisparityMapThread(QObject* parent = nullptr);
    ~DisparityMapThread() override;

signals:
    void newDisparityMapResults(VideoFrame leftRawFrame, VideoFrame rightRawFrame, VideoFrame disparityMap,
                                DisparityHistogramInfo disparity_histogram_info);
    // A requested analysis that could not be done (pictures of different
    // sizes, settings the matcher refuses, an OpenCV error), with a reason the
    // user can read. The request is used up, as by a result.
    void disparityMapFailed(QString reason);
    // One live analysis: the narrowed pair, its map and histogram. The budget's
    // pixel figures refer to the full picture width.
    void newLiveDisparityMapResults(VideoFrame leftFrame, VideoFrame rightFrame, VideoFrame disparityMap,
                                    DisparityHistogramInfo disparity_histogram_info);
    // Live analysis could not go on and has switched itself off.
    void liveAnalysisFailed(QString reason);

public slots:
    void onNewInputFramesArrived(VideoFrame leftFrame, VideoFrame rightFrame);
    // Requests one analysis with these settings; a request not yet served
    // only has its settings replaced.
    void calculate(DisparitySettings settings = DisparitySettings());
    // Analyses every pair from now on, with these settings, until stopLiveAnalysis.
    // Calling it again while live replaces the settings.
    void startLiveAnalysis(DisparitySettings settings);
    void stopLiveAnalysis();
    // The rig's measured misalignment, taken out of the right picture of every
    // analysis from now on (requested or live); an inactive one stops that.
    void setRigCorrection(RigCorrection correction);

public:
    bool isLiveAnalysisOn();

private:
    void handleInput() override;
    void analyse(const DisparitySettings& request, const RigCorrection& correction);
    void analyseLive(const DisparitySettings& request, const RigCorrection& correction);
    // The map picture and the histogram of one pair, at the pair's own size,
    // the right picture first corrected for the rig.
    void analysePair(const cv::Mat& left, const cv::Mat& right, const DisparitySettings& r,
                     const RigCorrection& correction, cv::Mat& map, DisparityHistogramInfo& info);
    void fail(const QString& reason);
    void failLive(const QString& reason);
    // Why the stored pair cannot be compared; empty when it can.
    QString pairProblem() const;

    VideoFrame leftFrame;
    VideoFrame rightFrame;
    QMutex framesMutex;
    // The analysis asked for and not yet served, and the settings of live
    // analysis while it is on; both under requestMutex.
    std::optional<DisparitySettings> pendingRequest;
    std::optional<DisparitySettings> liveRequest;
    RigCorrection rigCorrection;
    QMutex requestMutex;
};
