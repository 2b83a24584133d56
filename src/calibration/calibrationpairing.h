#pragma once

#include "calibration/detectedrectangle.h"
#include "pipeline/videoframe.h"

#include <QMetaType>
#include <QObject>
#include <vector>

// One camera's calibration result: the picture as captured, the picture the
// board was looked for in, and the board's rectangles, outermost first.
struct CalibrationResult
{
    VideoFrame raw;
    VideoFrame processed;
    std::vector<DetectedRectangle> rectangles;
};

// The left and right results of the same instant.
struct CalibrationPair
{
    CalibrationResult left;
    CalibrationResult right;
};
Q_DECLARE_METATYPE(CalibrationPair)

// Pairs the two calibration threads' results by time label: keeps the latest
// of each side and reports both once they belong to the same instant. An
// input without signal carries no time label to pair by: its result is
// reported with the other side's latest at once rather than never. Lives in
// the GUI thread; the calibration threads reach it by queued calls.
class CalibrationPairing : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Forgets the stored results, so that none pairs with a result of after;
    // results already on their way are taken in (and reported) first.
    void clear();

public slots:
    void onNewLeftCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                            std::vector<DetectedRectangle> rectangles);
    void onNewRightCalibrationResultsArrived(VideoFrame rawFrame, VideoFrame processedFrame,
                                             std::vector<DetectedRectangle> rectangles);

signals:
    void resultsPaired(const CalibrationPair& pair);

private:
    void reportWhenPaired();

    CalibrationPair m_latest;
};
