#pragma once

#include "calibration/detectedrectangle.h"
#include "pipeline/videoframe.h"
#include "pipeline/workerthread.h"

#include <QMutex>
#include <opencv2/core.hpp>
#include <vector>

// Draws each rectangle's edges and corner circles in the colour of its index
// (red, orange, yellow, green, cyan, blue, magenta, then again), and the
// corner numbers in green with their baseline starting at the corner.
void drawDetectedRectangles(cv::Mat& image, const std::vector<DetectedRectangle>& rectangles);

// Runs the board detector on the processed frames of one camera: on the frames
// whose time label frame number is a multiple of 5, five detections a second
// at 25 frames per second, on the same instants for both cameras. Holds at most
// one pending frame and drops what arrives while it is busy.
class CalibrationThread : public WorkerThread
{
    Q_OBJECT
public:
    explicit CalibrationThread(QObject* parent = nullptr);
    ~CalibrationThread() override;

signals:
    // rawFrame is the analysed frame as received; processedFrame carries the
    // same words and a copy of its picture with the detection drawn in.
    void newCalibrationResults(VideoFrame rawFrame, VideoFrame processedFrame,
                               std::vector<DetectedRectangle> rectangles);

public slots:
    void onNewInputFrameArrived(VideoFrame frame);

private:
    void handleInput() override;

    VideoFrame inputFrame;
    QMutex frameMutex;
};
