#include "disparity/disparitymapthread.h"

#include <QDebug>

DisparityMapThread::DisparityMapThread(QObject* parent) : WorkerThread("DisparityMapThread", parent)
{
    qRegisterMetaType<DisparityHistogramInfo>("DisparityHistogramInfo");
}

DisparityMapThread::~DisparityMapThread()
{
    stop();
    wait();
}

void DisparityMapThread::onNewInputFramesArrived(VideoFrame leftFrame, VideoFrame rightFrame)
{
    const bool accepted = offerInput([&] {
        qDebug() << "DisparityMapThread::onNewInputFrameArrived - frame.data ="
                 << static_cast<const void*>(leftFrame.image.data);
        QMutexLocker lock(&framesMutex);
        this->leftFrame = leftFrame;
        this->rightFrame = rightFrame;
    });
    if (!accepted)
        qDebug() << "DisparityMapThread::onNewInputFrameArrived - BUSY";
}

void DisparityMapThread::calculate(int min_disparity, int max_disparity, int block_size, bool output_colored,
                                   double parallax_near, double parallax_screen, double parallax_far)
{
    QMutexLocker lock(&requestMutex);
    minDisparity = min_disparity;
    maxDisparity = max_disparity;
    blockSize = block_size;
    outputColored = output_colored;
    parallaxNear = parallax_near;
    parallaxScreen = parallax_screen;
    parallaxFar = parallax_far;
    calculateRequested = true;
}

struct DisparityMapThread::Request
{
    int minDisparity;
    int maxDisparity;
    int blockSize;
    bool outputColored;
    double parallaxNear;
    double parallaxScreen;
    double parallaxFar;
};

void DisparityMapThread::handleInput()
{
    Request request;
    {
        // A copy of the settings, so that calculate never waits for an analysis.
        QMutexLocker lock(&requestMutex);
        if (!calculateRequested)
            return; // a pair without a request is thrown away
        calculateRequested = false;
        request = {minDisparity, maxDisparity,   blockSize,  outputColored,
                   parallaxNear, parallaxScreen, parallaxFar};
    }
    qDebug() << "DisparityMapThread::run() - ID:" << QThread::currentThreadId();
    try {
        analyse(request);
    } catch (const cv::Exception& error) {
        // The analysis functions say what they refused after their own name.
        const QString what = QString::fromStdString(error.err);
        const int cut = what.indexOf(" - ");
        fail("The disparity map could not be computed: " + (cut < 0 ? what : what.mid(cut + 3)));
    } catch (const std::exception& error) {
        fail(QString("The disparity map could not be computed: %1").arg(error.what()));
    }
}

void DisparityMapThread::fail(const QString& reason)
{
    qDebug() << "DisparityMapThread - analysis failed:" << reason;
    emit disparityMapFailed(reason);
}

void DisparityMapThread::analyse(const Request& r)
{
    QMutexLocker lock(&framesMutex);
    const cv::Mat& left = leftFrame.image;
    const cv::Mat& right = rightFrame.image;
    if (left.empty() || right.empty())
        return fail("The stereo pair lacks a picture: there is nothing to compare.");
    if (left.size() != right.size())
        return fail(QString("The left picture (%1 x %2) and the right picture (%3 x %4) differ in size: "
                            "they cannot be compared.")
                        .arg(left.cols)
                        .arg(left.rows)
                        .arg(right.cols)
                        .arg(right.rows));

    const ParallaxLimits limits = computeParallaxLimits(left.cols, r.minDisparity, r.maxDisparity,
                                                        r.parallaxNear, r.parallaxScreen, r.parallaxFar);
    const cv::Mat raw = computeDisparityMap(left, right, r.minDisparity, r.maxDisparity, r.blockSize);
    DisparityHistogramInfo info;
    info.histogram = disparityHistogram(raw, int16_t(r.minDisparity), int16_t(r.maxDisparity));
    info.minDisparity = r.minDisparity;
    info.maxDisparity = r.maxDisparity;
    info.farDisparity = limits.farDisparity;
    info.screenDisparityLow = limits.screenDisparityLow;
    info.screenDisparityHigh = limits.screenDisparityHigh;
    info.nearDisparity = limits.nearDisparity;

    VideoFrame map = leftFrame; // the left frame's time stamps and formats
    map.image = r.outputColored ? colorizeDisparity(raw, r.minDisparity, r.maxDisparity, limits.farDisparity,
                                                    limits.screenDisparityLow, limits.screenDisparityHigh,
                                                    limits.nearDisparity)
                                : disparityToGray(raw);
    emit newDisparityMapResults(leftFrame, rightFrame, map, info);
}
