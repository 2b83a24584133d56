#pragma once

// The summary at the end of a duoscope-measure run: for each reading its
// median and 5th and 95th percentile over the measured frames, the frames
// outside the calibrator's tolerance, and when the worst frame came.

#include "framemeasurement.h"

#include <QString>
#include <vector>

class MeasureSummary
{
public:
    MeasureSummary();

    void add(const FrameMeasurement& measurement);

    int frames() const { return measuredFrames; }
    // Frames with at least one reading outside tolerance.
    int framesOutside() const { return outsideFrames; }
    // The table, one line per reading, and a closing line with the exit status.
    QString text(bool interrupted) const;

private:
    struct Worst
    {
        double magnitude = -1;
        qint64 frame = 0;
        double seconds = -1;
        double value = 0;
    };
    struct Reading
    {
        std::vector<double> values;
        int outside = 0;
        Worst worst;
    };

    std::vector<Reading> readings; // one per summarised column, in column order
    int measuredFrames = 0;
    int outsideFrames = 0;
};

// Value below which `percent` of the values lie, interpolated between
// neighbours; the values are sorted in place. NaN for none.
double percentile(std::vector<double>& values, double percent);
