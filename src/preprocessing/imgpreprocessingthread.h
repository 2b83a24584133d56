#pragma once

#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>
#include <opencv2/core.hpp>

// How the captured frame carries the camera views.
enum InputMode
{
    InputIdentical = 0, // one input, the same picture for both cameras
    InputSideBySide = 1,
    InputUnderOver = 2,
    InputDouble = 3 // two inputs, one camera each
};

// Rotate and flip options of one camera, applied in this order.
struct FrameTransform
{
    bool rotateLeft = false;
    bool rotateRight = false;
    bool rotate180 = false;
    bool flipHorizontal = false;
    bool flipVertical = false;
};

struct PreprocessingSettings
{
    int inputMode = InputDouble; // until the first setSettings: the frame as received
    FrameTransform left;         // used by camera 0
    FrameTransform right;        // used by every other camera
    // Side by side and under/over: each half carries a picture squeezed to
    // half its width (or height), as 3D cameras send them, and is scaled back
    // to the full picture's aspect. Off: the halves are full-size pictures.
    bool fullSizeHalves = false;
};

// Applies the set steps of transform in place (rotate left, rotate right,
// rotate 180, flip horizontal, flip vertical). Flips of an unchanged size
// write into the image's own pixels; a turn of a non-square image gives it a
// new buffer. False, and nothing done, for an image without pixels.
bool applyTransform(cv::Mat& image, const FrameTransform& transform);

// One camera's picture (id 0 left, 1 right) out of a captured image, as the
// worker below makes it: its half cut out, scaled back to full size when the
// settings say the halves are squeezed, turned and flipped. The turn and flip
// may write into `image`'s own pixels.
cv::Mat cameraPicture(const cv::Mat& image, const PreprocessingSettings& settings, int cameraId);

// Cuts one camera's view out of the captured frames and rotates and flips it.
// One instance per camera: id 0 left, id 1 right. Holds at most one pending
// frame and drops what arrives while it is busy, so its output lags the input
// by at most one frame.
class ImgPreprocessingThread : public WorkerThread
{
    Q_OBJECT
public:
    explicit ImgPreprocessingThread(int cameraId, QObject* parent = nullptr);
    ~ImgPreprocessingThread() override;

    // Replaces the settings as a whole; used from the next frame handled. Any thread.
    void setSettings(int inputMode, FrameTransform left, FrameTransform right, bool fullSizeHalves = false);

signals:
    void newProcessingResults(VideoFrame processedFrame);

public slots:
    void onNewInputFrameArrived(VideoFrame frame);

private:
    void handleInput() override;

    QMutex settingsMutex;
    VideoFrame inputFrame;
    QMutex frameMutex;
    const int cameraId;
    PreprocessingSettings settings;
};
