#pragma once

#include "disparity/tesra_disparity_map.h"
#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>
#include <QString>

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
    // Requests one analysis with these settings (parallaxes in percent of the
    // picture width); a request not yet served only has its settings replaced.
    void calculate(int min_disparity = -64, int max_disparity = 64, int block_size = 11,
                   bool output_colored = true, double parallax_near = 0, double parallax_screen = 0,
                   double parallax_far = 0);
    // Analyses every pair from now on, with these settings, until stopLiveAnalysis.
    // Calling it again while live replaces the settings.
    void startLiveAnalysis(int min_disparity, int max_disparity, int block_size, bool output_colored,
                           double parallax_near, double parallax_screen, double parallax_far);
    void stopLiveAnalysis();
    // The rig's measured misalignment, taken out of the right picture of every
    // analysis from now on (requested or live); an inactive one stops that.
    void setRigCorrection(RigCorrection correction);

public:
    bool isLiveAnalysisOn();

private:
    struct Request; // the seven settings of one analysis
    void handleInput() override;
    void analyse(const Request& request);
    void analyseLive(const Request& request);
    // The map picture and the histogram of one pair, at the pair's own size.
    void analysePair(const cv::Mat& left, const cv::Mat& right, const Request& r, cv::Mat& map,
                     DisparityHistogramInfo& info);
    void fail(const QString& reason);
    void failLive(const QString& reason);
    // Why the stored pair cannot be compared; empty when it can.
    QString pairProblem() const;

    VideoFrame leftFrame;
    VideoFrame rightFrame;
    QMutex framesMutex;
    // The request and its settings change together under requestMutex, so the
    // worker never sees the flag without the settings that came with it.
    bool calculateRequested = false;
    int minDisparity = -64;
    int maxDisparity = 64;
    int blockSize = 11;
    bool outputColored = true;
    double parallaxNear = 0;
    double parallaxScreen = 0;
    double parallaxFar = 0;
    bool liveRequested = false;
    int liveSettings[3] = {-64, 64, 11}; // minimum, maximum, block size
    bool liveColored = true;
    double liveParallax[3] = {0, 0, 0}; // near, screen, far
    RigCorrection rigCorrection;
    QMutex requestMutex;
};
