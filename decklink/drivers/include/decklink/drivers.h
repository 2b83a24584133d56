#pragma once

// The program's driver: the GStreamer cards (real inputs) and the virtual
// cards behind one class-creation function and one discovery. Virtual card
// names say "(virtual)", so they are told from real ones at a glance.

#include <decklink/DeckLinkAPI.h>

#include <string>
#include <vector>

namespace decklinkdrivers {

// Shows or hides the virtual cards (the command line's --no-virtual-cards);
// takes effect at the next installation of device notifications. Pipeline
// cards of the configuration file are real inputs and stay.
void setVirtualCardsShown(bool shown);

// The cards present now that a discovery of this driver with installed
// notifications reports (real cards first), one reference each for the
// caller. Devices are watched only while notifications are installed.
std::vector<IDeckLink*> presentCards();

// The set-up problems of every driver, oldest first.
std::vector<std::string> driverMessages();

} // namespace decklinkdrivers
