#include "pipeline/logcategories.h"

Q_LOGGING_CATEGORY(lcCapture, "duoscope.capture", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPreprocessing, "duoscope.preprocessing", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCalibration, "duoscope.calibration", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSynchronization, "duoscope.synchronization", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDisparity, "duoscope.disparity", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWindow, "duoscope.window", QtInfoMsg)
