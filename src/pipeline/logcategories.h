#pragma once

#include <QLoggingCategory>

// The program's logging categories. Their debug lines (several hundred a
// second while capture runs) are off unless switched on, e.g. with
// QT_LOGGING_RULES="duoscope.*.debug=true"; warnings always show.
Q_DECLARE_LOGGING_CATEGORY(lcCapture)         // duoscope.capture: cards, frames, conversions
Q_DECLARE_LOGGING_CATEGORY(lcPreprocessing)   // duoscope.preprocessing
Q_DECLARE_LOGGING_CATEGORY(lcCalibration)     // duoscope.calibration
Q_DECLARE_LOGGING_CATEGORY(lcSynchronization) // duoscope.synchronization
Q_DECLARE_LOGGING_CATEGORY(lcDisparity)       // duoscope.disparity
Q_DECLARE_LOGGING_CATEGORY(lcWindow)          // duoscope.window: the window's slots and controls
