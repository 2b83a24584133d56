#include "calibration/calibrationthread.h"
#include "calibration/tesra_board_detector.h"
#include "pipeline/logcategories.h"

#include <opencv2/imgproc.hpp>

void drawDetectedRectangles(cv::Mat& image, const std::vector<DetectedRectangle>& rectangles)
{
    // Blue, green, red.
    static const cv::Scalar palette[] = {{0, 0, 255},   {0, 128, 255}, {0, 200, 200}, {0, 255, 0},
                                         {200, 200, 0}, {255, 0, 0},   {255, 0, 255}};
    const cv::Scalar green(0, 255, 0);
    for (size_t r = 0; r < rectangles.size(); ++r) {
        const cv::Scalar& colour = palette[r % 7];
        const std::vector<cv::Point2f>& corners = rectangles[r].corners();
        const size_t n = corners.size();
        for (size_t j = 0; j < n; ++j) {
            const cv::Point p(cvRound(corners[j].x), cvRound(corners[j].y));
            const cv::Point q(cvRound(corners[(j + 1) % n].x), cvRound(corners[(j + 1) % n].y));
            cv::line(image, p, q, colour, 3, cv::LINE_8, 0);
            cv::circle(image, p, 10, colour, 3, cv::LINE_8, 0);
            cv::putText(image, std::to_string(j), p, cv::FONT_HERSHEY_COMPLEX, 3.0, green, 5, cv::LINE_8,
                        false);
        }
    }
}

CalibrationThread::CalibrationThread(QObject* parent)
    : WorkerThread("CalibrationThread", lcCalibration, parent)
{}

CalibrationThread::~CalibrationThread()
{
    stop();
    wait();
}

void CalibrationThread::onNewInputFrameArrived(VideoFrame frame)
{
    const bool accepted = offerInput([&] {
        qCDebug(lcCalibration) << "CalibrationThread::onNewInputFrameArrived - frame.data ="
                               << static_cast<const void*>(frame.image.data);
        QMutexLocker lock(&frameMutex);
        inputFrame = frame;
    });
    if (!accepted)
        qCDebug(lcCalibration) << "CalibrationThread::onNewInputFrameArrived - BUSY";
}

void CalibrationThread::handleInput()
{
    QMutexLocker lock(&frameMutex);
    const VideoFrame frame = inputFrame;
    if (timeLabelFrameNumber(frame) % 5 != 0)
        return; // consumed without output
    qCDebug(lcCalibration) << "CalibrationThread::run() - ID:" << QThread::currentThreadId();
    std::vector<DetectedRectangle> rectangles;
    const bool found = findTesraBoard(frame.image, rectangles);
    qCDebug(lcCalibration) << "Pattern found:" << found;
    qCDebug(lcCalibration) << "Rectangles - size:" << rectangles.size();
    VideoFrame drawn = frame;
    drawn.image = frame.image.clone();
    drawDetectedRectangles(drawn.image, rectangles);
    emit newCalibrationResults(frame, drawn, rectangles);
}
