#include "preprocessing/imgpreprocessingthread.h"
#include "pipeline/logcategories.h"

#include <opencv2/imgproc.hpp>

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

// A squeezed half back at the full picture's aspect: twice as wide (side by
// side) or twice as high (under/over). Other layouts pass unchanged.
cv::Mat unsqueezed(const cv::Mat& half, int inputMode)
{
    if (half.empty() || (inputMode != InputSideBySide && inputMode != InputUnderOver))
        return half;
    const cv::Size full = inputMode == InputSideBySide ? cv::Size(2 * half.cols, half.rows)
                                                       : cv::Size(half.cols, 2 * half.rows);
    cv::Mat scaled;
    cv::resize(half, scaled, full, 0, 0, cv::INTER_LINEAR);
    return scaled;
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

cv::Mat cameraPicture(const cv::Mat& image, const PreprocessingSettings& settings, int cameraId)
{
    cv::Mat picture = cameraView(image, settings.inputMode, cameraId);
    if (settings.fullSizeHalves)
        picture = unsqueezed(picture, settings.inputMode);
    applyTransform(picture, cameraId == 0 ? settings.left : settings.right);
    return picture;
}

ImgPreprocessingThread::ImgPreprocessingThread(int cameraId, QObject* parent)
    : WorkerThread("ImgProcessingThread", lcPreprocessing, parent), cameraId(cameraId)
{}

ImgPreprocessingThread::~ImgPreprocessingThread()
{
    stop();
    wait();
}

void ImgPreprocessingThread::setSettings(int inputMode, FrameTransform left, FrameTransform right,
                                         bool fullSizeHalves)
{
    QMutexLocker lock(&settingsMutex);
    settings = PreprocessingSettings{inputMode, left, right, fullSizeHalves};
}

void ImgPreprocessingThread::onNewInputFrameArrived(VideoFrame frame)
{
    offerInput([&] {
        qCDebug(lcPreprocessing) << "onNewInputFrameArrived - frame.data ="
                                 << static_cast<const void*>(frame.image.data);
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
    qCDebug(lcPreprocessing) << "ImgProcessingThread::run() - ID:" << QThread::currentThreadId();
    result.image = cameraPicture(inputFrame.image, snapshot, cameraId);
    emit newProcessingResults(result);
}
