#pragma once

// What the GStreamer cards share with the other drivers.

#include "common/bufferpool.h"
#include "common/cardframes.h"
#include "common/comobject.h"
#include "common/displaymodes.h"
#include "common/frameconverter.h"
#include "common/inputcallbacks.h"
#include "common/inputframe.h"
#include "common/notificationqueue.h"
#include "common/pipelinecards.h"

#include <gst/gst.h>
#include <string>
#include <vector>

namespace gstreamercards {
using namespace cardcommon;

// What a card is: its name, modes and where its signal comes from.
struct CardDescription
{
    std::string name;
    std::string pipeline;        // a pipeline card: its description
    GstDevice* device = nullptr; // a device card: the device (one reference)
    std::vector<DisplayModeInfo> modes;
    bool formatDetection = true;
    std::vector<BMDTimecodeFormat> timecodes;

    CardDescription() = default;
    CardDescription(const CardDescription&) = delete;
    CardDescription& operator=(const CardDescription&) = delete;
    ~CardDescription()
    {
        if (device)
            gst_object_unref(device);
    }
};

// Records a problem for driverMessages() and stderr, once per text.
void reportProblem(const std::string& text);

// The clock of every pipeline of the driver: hardware reference times of all cards are on one time line.
GstClock* sharedClock();

} // namespace gstreamercards
