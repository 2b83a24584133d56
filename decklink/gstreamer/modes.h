#pragma once

// Display modes from GStreamer caps: a size, rate and scan that match a mode
// of the program carry its code and name; others get a code of their own
// ('g' and three more bytes) and a name like "1024x768p30".

#include "common/displaymodes.h"

#include <gst/video/video.h>
#include <mutex>
#include <vector>

namespace gstreamercards {

using cardcommon::DisplayModeInfo;

// The mode of a negotiated picture.
DisplayModeInfo modeOf(int width, int height, int rateNumerator, int rateDenominator, bool interlaced);

// The modes a device offers in its caps, raw video only, in the program's mode order first.
std::vector<DisplayModeInfo> modesOfCaps(const GstCaps* caps);

// The decklinkvideosrc "mode" for a mode of the program, or null.
const char* decklinkModeNick(BMDDisplayMode code);

bool isInterlaced(BMDDisplayMode code);

} // namespace gstreamercards
