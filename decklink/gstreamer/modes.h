#pragma once

// Display modes from GStreamer caps: a size, rate and scan that match a mode
// of the program carry its code and name; others get a code of their own
// ('g' and three more bytes) and a name like "1024x768p30"; the colours the
// caps give the pictures.

#include "common/displaymodes.h"
#include "common/uyvyconversion.h"

#include <gst/video/video.h>
#include <mutex>
#include <optional>
#include <vector>

namespace gstreamercards {

using cardcommon::Colorimetry;
using cardcommon::DisplayModeInfo;

// The mode of a negotiated picture.
DisplayModeInfo modeOf(int width, int height, int rateNumerator, int rateDenominator, bool interlaced);

// The modes a device offers in its caps, raw video only, in the program's mode order first.
std::vector<DisplayModeInfo> modesOfCaps(const GstCaps* caps);

// The decklinkvideosrc "mode" for a mode of the program, or null.
const char* decklinkModeNick(BMDDisplayMode code);

bool isInterlaced(BMDDisplayMode code);

// The colours a stream's caps give its pictures. GStreamer fills what caps
// leave open by picture size (Rec. 601 up to 576 lines, Rec. 709 above;
// video range); a matrix it does not know leaves the choice to the display
// mode.
std::optional<Colorimetry> colorimetryOf(const GstVideoInfo& info);

} // namespace gstreamercards
