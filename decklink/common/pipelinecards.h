#pragma once

// A card whose signal comes from a GStreamer pipeline description (a source
// kind of the cards' configuration file). The card configuration reader reads
// it with the other cards; the GStreamer driver runs it.

#include "displaymodes.h"

#include <string>
#include <vector>

namespace cardcommon {

struct PipelineCardSettings
{
    std::string name;
    std::string description; // gst-launch syntax, the source up to its last element
    std::vector<const DisplayModeInfo*> modes;
    bool formatDetection = true;
    std::vector<BMDTimecodeFormat> timecodes; // the formats a frame's timecode is reported for
};

} // namespace cardcommon
