#pragma once

#include "calibration/orientationcheck.h"
#include "preprocessing/imgpreprocessingthread.h"

#include <QString>

// The warning of the orientation check, naming the checkbox of the
// Acquisition tab that puts it right given how the boxes are ticked now:
// a box ticked by mistake on either side is to be unticked, otherwise the
// right camera's box is to be ticked. Empty for AsIs.
QString orientationAdvice(PictureOrientation verdict, const FrameTransform& left,
                          const FrameTransform& right);
