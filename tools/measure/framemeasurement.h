#pragma once

// What duoscope-measure reads off one pair of pictures: the board readings
// where the board is found in both, the readings from the scene with their
// evidence, and the depth budget, with the calibrator's own analyses.

#include "calibration/alignmentreadout.h"
#include "calibration/calibrationindicators.h"
#include "camerasync/motionoffset.h"
#include "disparity/depthbudget.h"
#include "scene/scenealignment.h"

#include <opencv2/core.hpp>
#include <optional>

struct MeasureSettings
{
    // The disparity search of the depth budget, as on the Disparity Map tab.
    int minDisparity = -64;
    int maxDisparity = 64;
    int blockSize = 11;
    // The target screen and the viewer's eyes the divergence is judged for.
    double screenWidthMetres = 12.0;
    double eyeSeparationMm = 65.0;
    // The readings from the scene; without them a run takes about a quarter
    // less time, and their columns stay empty.
    bool scene = true;
};

struct BoardReadings
{
    CalibrationMeasurement indicators; // as the four indicators read one measurement
    AlignmentReading readout;          // in pixels, degrees and percent
    AlignmentStates states;
};

struct FrameMeasurement
{
    qint64 frame = 0;
    double seconds = -1; // negative: a picture, no time
    bool boardFoundLeft = false;
    bool boardFoundRight = false;
    std::optional<BoardReadings> board;    // none unless found in both and comparable
    std::optional<SceneMeasurement> scene; // none when not measured; its reading none: its reason says why
    DepthBudget budget;                    // budget.valid false: nothing matched
    ScreenBudget screen;
    QString depthProblem;             // why there is no budget, when the analysis refused the pair
    std::optional<MotionOffset> sync; // none where not measured (one file, pictures)
};

// Measures one pair. The depth budget is taken, as the window's live
// analysis takes it, from pictures narrowed to 960 pixels with the disparity
// range scaled alike; its pixel figures refer to the full width.
FrameMeasurement measureFrame(const cv::Mat& left, const cv::Mat& right, const MeasureSettings& settings);
