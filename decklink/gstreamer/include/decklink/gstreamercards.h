#pragma once

// Control of the GStreamer driver (decklink_gstreamer) for the composed driver,
// tools and tests. The program sees its cards only through DeckLinkAPI.h.
//
// Cards: every video source that GstDeviceMonitor reports (capture-card
// inputs through the decklink device provider, V4L2 devices) while device
// notifications are installed, and the pipeline cards of the configuration.
// Every call is thread-safe.

#include "common/pipelinecards.h"

#include <decklink/DeckLinkAPI.h>

#include <string>
#include <vector>

namespace gstreamercards {

// GStreamer initialised; false (and why, in driverMessages()) when it cannot be.
bool isAvailable();

// The pipeline cards from now on: cards no longer listed, or listed with other
// settings, leave (a removal); new ones arrive.
void setPipelineCards(const std::vector<cardcommon::PipelineCardSettings>& cards);

// Whether devices of GstDeviceMonitor become cards (default on). Takes effect
// at the next installation of device notifications.
void setDeviceMonitoring(bool enabled);

// Names of the cards present now: pipeline cards, then devices.
std::vector<std::string> presentCards();

// The same cards, one reference each for the caller.
std::vector<IDeckLink*> presentCardObjects();

// Problems met so far (a card that cannot start, a stream that failed, a
// missing plugin and the Debian package that has it), oldest first, each once.
std::vector<std::string> driverMessages();

// A GStreamer error text with the Debian package to install for each missing element.
std::string withPackageHint(const std::string& text, const std::vector<std::string>& missingElements);

// The device notifications of this driver (one reference for the caller).
HRESULT createDiscovery(IDeckLinkDiscovery** discovery);

// Driver objects and strings alive now (of every driver in the program).
long liveObjects();

} // namespace gstreamercards
