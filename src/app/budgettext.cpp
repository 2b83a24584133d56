#include "app/budgettext.h"

QString signedNumber(double value, int decimals)
{
    return (value > 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals);
}

QString budgetFigures(const DepthBudget& b)
{
    return QStringLiteral("nearest %1 % (%2 px), farthest %3 % (%4 px), total %5 % (%6 px)")
        .arg(signedNumber(b.nearestPercent, 2), signedNumber(b.nearestPixels(), 1),
             signedNumber(b.farthestPercent, 2), signedNumber(b.farthestPixels(), 1),
             QString::number(b.totalPercent(), 'f', 2), QString::number(b.totalPixels(), 'f', 1));
}

QString screenFigures(const DepthBudget& b, double screenWidth, double eyeSeparation)
{
    const ScreenBudget screen = screenBudget(b, screenWidth, eyeSeparation);
    return QStringLiteral("nearest %1 mm, farthest %2 mm, total %3 mm")
        .arg(signedNumber(screen.nearestMm, 0), signedNumber(screen.farthestMm, 0),
             QString::number(screen.totalMm, 'f', 0));
}
