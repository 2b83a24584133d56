#include "preprocessing/imgpreprocessingthread.h"

#include <QDebug>

namespace {

// The picture of one camera in a captured image. Halves are views into the
// received pixels (integer halves: an odd last column or row belongs to
// neither); Identical copies, because both cameras work on the same frame.
cv::Mat cameraView(const cv::Mat& image, int inputMode, int cameraId)
{
    const int w = image.cols;
    const int h = image.rows;
    switch (inputMode) {
    case InputIdentical:
        return image.clone();
    case InputSideBySide:
        if (cameraId == 0)
            return image(cv::Rect(0, 0, w / 2, h));
        if (cameraId == 1)
            return image(cv::Rect(w / 2, 0, w / 2, h));
        return cv::Mat();
    case InputUnderOver:
        if (cameraId == 0)
            return image(cv::Rect(0, 0, w, h / 2));
        if (cameraId == 1)
            return image(cv::Rect(0, h / 2, w, h / 2));
        return cv::Mat();
    case InputDouble:
        return image;
    default:
        return cv::Mat();
    }
}

} // namespace

bool applyTransform(cv::Mat& image, const FrameTransform& transform)
{
    if (image.data == nullptr || image.empty())
        return false;
    if (transform.rotateLeft) {
        cv::transpose(image, image);
        cv::flip(image, image, 0);
    }
    if (transform.rotateRight) {
        cv::transpose(image, image);
        cv::flip(image, image, 1);
    }
    if (transform.rotate180) {
        cv::flip(image, image, 0);
        cv::flip(image, image, 1);
    }
    if (transform.flipHorizontal)
        cv::flip(image, image, 1);
    if (transform.flipVertical)
        cv::flip(image, image, 0);
    return true;
}

ImgPreprocessingThread::ImgPreprocessingThread(int cameraId, QObject* parent)
    : WorkerThread("ImgProcessingThread", parent), cameraId(cameraId)
{}

ImgPreprocessingThread::~ImgPreprocessingThread()
{
    stop();
    wait();
}

void ImgPreprocessingThread::setSettings(int inputMode, FrameTransform left, FrameTransform right)
{
    QMutexLocker lock(&settingsMutex);
    settings = PreprocessingSettings{inputMode, left, right};
}

void ImgPreprocessingThread::onNewInputFrameArrived(VideoFrame frame)
{
    offerInput([&] {
        qDebug() << "onNewInputFrameArrived - frame.data =" << static_cast<const void*>(frame.image.data);
        QMutexLocker lock(&frameMutex);
        inputFrame = frame;
    });
}

void ImgPreprocessingThread::handleInput()
{
    PreprocessingSettings snapshot;
    {
        QMutexLocker lock(&settingsMutex);
        snapshot = settings;
    }
    QMutexLocker lock(&frameMutex);
    VideoFrame result = inputFrame;
    qDebug() << "ImgProcessingThread::run() - ID:" << QThread::currentThreadId();
    result.image = cameraView(inputFrame.image, snapshot.inputMode, cameraId);
    applyTransform(result.image, cameraId == 0 ? snapshot.left : snapshot.right);
    emit newProcessingResults(result);
}
