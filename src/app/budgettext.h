#pragma once

#include "disparity/depthbudget.h"

#include <QString>

// The depth budget's figures as the disparity tab and the budget file write them.

// A number with its sign, "+" for a positive one.
QString signedNumber(double value, int decimals);
// "nearest +x % (y px), farthest ..., total ..." of the picture width.
QString budgetFigures(const DepthBudget& budget);
// "nearest x mm, farthest ..., total ..." on the target screen.
QString screenFigures(const DepthBudget& budget, double screenWidth, double eyeSeparation);
