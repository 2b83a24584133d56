#pragma once

// The run of duoscope-measure over its footage: every frame read, every
// `every`-th measured, the cameras' offset followed on every frame of two
// videos. Shared by the program and its benchmark.

#include "footage.h"
#include "framemeasurement.h"

#include <functional>

struct RunSettings
{
    MeasureSettings measure;
    int every = 1;
    qint64 maxFrames = -1; // frames to read at most; negative: to the end
};

// Measures the footage from where it stands. `measured` gets each measured
// frame in order; `carryOn` is asked after each frame read (with the count
// read so far) and ends the run when it answers false. Returns the frames read.
qint64 measureFootage(Footage& footage, const RunSettings& settings,
                      const std::function<void(const FrameMeasurement&)>& measured,
                      const std::function<bool(qint64 framesRead)>& carryOn);
