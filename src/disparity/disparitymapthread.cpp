#include "disparity/disparitymapthread.h"
#include "pipeline/logcategories.h"

#include <opencv2/imgproc.hpp>
#include <utility>

DisparityMapThread::DisparityMapThread(QObject* parent)
    : WorkerThread("DisparityMapThread", lcDisparity, parent)
{
    qRegisterMetaType<DisparityHistogramInfo>("DisparityHistogramInfo");
    qRegisterMetaType<DisparitySettings>("DisparitySettings");
}

DisparityMapThread::~DisparityMapThread()
{
    stop();
    wait();
}

void DisparityMapThread::onNewInputFramesArrived(VideoFrame leftFrame, VideoFrame rightFrame)
{
    const bool accepted = offerInput([&] {
        qCDebug(lcDisparity) << "DisparityMapThread::onNewInputFrameArrived - frame.data ="
                             << static_cast<const void*>(leftFrame.image.data);
        QMutexLocker lock(&framesMutex);
        this->leftFrame = leftFrame;
        this->rightFrame = rightFrame;
    });
    if (!accepted)
        qCDebug(lcDisparity) << "DisparityMapThread::onNewInputFrameArrived - BUSY";
}

void DisparityMapThread::calculate(DisparitySettings settings)
{
    QMutexLocker lock(&requestMutex);
    pendingRequest = settings;
}

void DisparityMapThread::startLiveAnalysis(DisparitySettings settings)
{
    QMutexLocker lock(&requestMutex);
    liveRequest = settings;
}

void DisparityMapThread::stopLiveAnalysis()
{
    QMutexLocker lock(&requestMutex);
    liveRequest.reset();
}

void DisparityMapThread::setRigCorrection(RigCorrection correction)
{
    QMutexLocker lock(&requestMutex);
    rigCorrection = correction;
}

bool DisparityMapThread::isLiveAnalysisOn()
{
    QMutexLocker lock(&requestMutex);
    return liveRequest.has_value();
}

void DisparityMapThread::handleInput()
{
    DisparitySettings request;
    RigCorrection correction;
    bool live = false;
    {
        // A copy of the settings, so that calculate never waits for an analysis.
        QMutexLocker lock(&requestMutex);
        if (pendingRequest) {
            request = *std::exchange(pendingRequest, std::nullopt);
        } else if (liveRequest) {
            live = true;
            request = *liveRequest;
        } else {
            return; // a pair without a request is thrown away
        }
        correction = rigCorrection;
    }
    qCDebug(lcDisparity) << "DisparityMapThread::run() - ID:" << QThread::currentThreadId()
                         << (live ? "live" : "");
    QString problem;
    try {
        if (live)
            analyseLive(request, correction);
        else
            analyse(request, correction);
        return;
    } catch (const cv::Exception& error) {
        // The analysis functions say what they refused after their own name.
        const QString what = QString::fromStdString(error.err);
        const int cut = what.indexOf(" - ");
        problem = "The disparity map could not be computed: " + (cut < 0 ? what : what.mid(cut + 3));
    } catch (const std::exception& error) {
        problem = QString("The disparity map could not be computed: %1").arg(error.what());
    }
    if (live)
        failLive(problem);
    else
        fail(problem);
}

void DisparityMapThread::failLive(const QString& reason)
{
    qCWarning(lcDisparity) << "DisparityMapThread - live analysis failed:" << reason;
    {
        QMutexLocker lock(&requestMutex);
        liveRequest.reset();
    }
    emit liveAnalysisFailed(reason);
}

QString DisparityMapThread::pairProblem() const
{
    const cv::Mat& left = leftFrame.image;
    const cv::Mat& right = rightFrame.image;
    if (left.empty() || right.empty())
        return QStringLiteral("The stereo pair lacks a picture: there is nothing to compare.");
    if (left.size() != right.size())
        return QString("The left picture (%1 x %2) and the right picture (%3 x %4) differ in size: "
                       "they cannot be compared.")
            .arg(left.cols)
            .arg(left.rows)
            .arg(right.cols)
            .arg(right.rows);
    return QString();
}

void DisparityMapThread::fail(const QString& reason)
{
    qCWarning(lcDisparity) << "DisparityMapThread - analysis failed:" << reason;
    emit disparityMapFailed(reason);
}

void DisparityMapThread::analysePair(const cv::Mat& left, const cv::Mat& right, const DisparitySettings& r,
                                     const RigCorrection& correction, cv::Mat& map,
                                     DisparityHistogramInfo& info)
{
    const ParallaxLimits limits = computeParallaxLimits(left.cols, r.minDisparity, r.maxDisparity,
                                                        r.parallaxNear, r.parallaxScreen, r.parallaxFar);
    const cv::Mat raw = computeDisparityMap(left, alignedToLeft(right, correction), r.minDisparity,
                                            r.maxDisparity, r.blockSize);
    info.histogram = disparityHistogram(raw, int16_t(r.minDisparity), int16_t(r.maxDisparity));
    info.minDisparity = r.minDisparity;
    info.maxDisparity = r.maxDisparity;
    info.farDisparity = limits.farDisparity;
    info.screenDisparityLow = limits.screenDisparityLow;
    info.screenDisparityHigh = limits.screenDisparityHigh;
    info.nearDisparity = limits.nearDisparity;
    info.budget = depthBudget(raw, r.minDisparity, r.maxDisparity);
    info.correction = correction;
    map = r.outputColored
              ? colorizeDisparity(raw, r.minDisparity, r.maxDisparity, limits.farDisparity,
                                  limits.screenDisparityLow, limits.screenDisparityHigh, limits.nearDisparity)
              : disparityToGray(raw);
}

void DisparityMapThread::analyse(const DisparitySettings& r, const RigCorrection& correction)
{
    QMutexLocker lock(&framesMutex);
    const QString problem = pairProblem();
    if (!problem.isEmpty())
        return fail(problem);
    DisparityHistogramInfo info;
    VideoFrame map = leftFrame; // the left frame's time stamps and formats
    analysePair(leftFrame.image, rightFrame.image, r, correction, map.image, info);
    emit newDisparityMapResults(leftFrame, rightFrame, map, info);
}

void DisparityMapThread::analyseLive(const DisparitySettings& r, const RigCorrection& correction)
{
    QMutexLocker lock(&framesMutex);
    const QString problem = pairProblem();
    if (!problem.isEmpty())
        return failLive(problem);
    const int fullWidth = leftFrame.image.cols;
    const LiveScale scale = liveScale(fullWidth, r.minDisparity, r.maxDisparity);
    VideoFrame left = leftFrame;
    VideoFrame right = rightFrame;
    if (scale.factor < 1) {
        const cv::Size size(int(std::lround(fullWidth * scale.factor)),
                            std::max(1, int(std::lround(leftFrame.image.rows * scale.factor))));
        cv::resize(leftFrame.image, left.image, size, 0, 0, cv::INTER_AREA);
        cv::resize(rightFrame.image, right.image, size, 0, 0, cv::INTER_AREA);
    }
    DisparitySettings narrowed = r;
    narrowed.minDisparity = scale.minDisparity;
    narrowed.maxDisparity = scale.maxDisparity;
    DisparityHistogramInfo info;
    VideoFrame map = left;
    analysePair(left.image, right.image, narrowed, correction, map.image, info);
    info.budget.pictureWidth = fullWidth; // percentages are the same at both sizes
    emit newLiveDisparityMapResults(left, right, map, info);
}
