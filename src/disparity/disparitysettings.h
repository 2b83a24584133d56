#pragma once

#include <QMetaType>
#include <QString>

// The settings of one disparity analysis, as the disparity tab's form holds
// them and the worker uses them: the matcher's disparity range (pixels) and
// block size (pixels, odd), the parallax limits the map is coloured by
// (percent of the picture width: near, screen, far) and whether the map is
// coloured or grey. Passed whole from the form to the worker and compared whole.
struct DisparitySettings
{
    int minDisparity = -64;
    int maxDisparity = 64;
    int blockSize = 11;
    bool outputColored = true;
    double parallaxNear = 0;
    double parallaxScreen = 0;
    double parallaxFar = 0;

    bool operator==(const DisparitySettings& other) const
    {
        return minDisparity == other.minDisparity && maxDisparity == other.maxDisparity &&
               blockSize == other.blockSize && outputColored == other.outputColored &&
               parallaxNear == other.parallaxNear && parallaxScreen == other.parallaxScreen &&
               parallaxFar == other.parallaxFar;
    }
    bool operator!=(const DisparitySettings& other) const { return !(*this == other); }
};
Q_DECLARE_METATYPE(DisparitySettings)

// What is wrong with the settings, as the form says it (a title line, then
// what the value should be); empty when the matcher can work with them and
// the parallax limits are in order.
QString disparitySettingsProblem(const DisparitySettings& settings);
