#pragma once

// The colour of an indicator state behind a label: green, yellow or red, as
// the calibration tab's indicators, readout and warnings show it.

#include "calibration/calibrationindicators.h"

#include <QPalette>

const QPalette& statePalette(IndicatorState state);
