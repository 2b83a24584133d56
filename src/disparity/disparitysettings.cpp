#include "disparity/disparitysettings.h"

#include <cmath>
#include <utility>

namespace {

// Percent of the picture width.
constexpr double kLargestParallax = 100.0;

} // namespace

QString disparitySettingsProblem(const DisparitySettings& s)
{
    if ((s.minDisparity & 15) != 0)
        return QStringLiteral("Wrong value of minimum disparity\nShould be divisible by 16");
    if ((s.maxDisparity & 15) != 0)
        return QStringLiteral("Wrong value of maximum disparity\nShould be divisible by 16");
    if (s.blockSize % 2 == 0)
        return QStringLiteral("Wrong value of block size\nShould be an odd number");
    // The matcher searches the disparities from the minimum up to the maximum.
    if (s.maxDisparity <= s.minDisparity)
        return QStringLiteral(
            "Wrong value of maximum disparity\nShould be greater than the minimum disparity");
    // A parallax beyond the picture's width has no meaning; the boxes take
    // more, so that a value out of range is refused with a word, not cut short.
    const std::pair<const char*, double> parallaxes[] = {
        {"near", s.parallaxNear}, {"screen", s.parallaxScreen}, {"far", s.parallaxFar}};
    for (const auto& [name, value] : parallaxes)
        if (std::abs(value) > kLargestParallax)
            return QStringLiteral("Wrong value of parallax %1\nShould lie from -%2 % to %2 % of the picture "
                                  "width; %3 % is refused")
                .arg(QLatin1String(name))
                .arg(kLargestParallax)
                .arg(value);
    // Near, screen and far go from in front of the screen to behind it; equal
    // values are allowed, as in the defaults.
    if (s.parallaxNear > s.parallaxScreen)
        return QStringLiteral("Wrong value of parallax near\nShould not be greater than parallax screen");
    if (s.parallaxScreen > s.parallaxFar)
        return QStringLiteral("Wrong value of parallax far\nShould not be less than parallax screen");
    return QString();
}
