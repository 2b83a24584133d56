#pragma once

// Control of the virtual card driver (decklink_virtual) for tests and tools:
// what a technician does to real cards, done by a call. The program itself
// never uses this; it sees the cards only through DeckLinkAPI.h.
//
// Every call is thread-safe and has taken effect when it returns; the device
// notifications and frames that it causes arrive on the driver's threads as
// usual. Cards are named by the "name" of their configuration, also for a
// card that hides its display name.
//
// Typical end-to-end test:
//
//     virtualcards::configure(R"yaml(
//         cards:
//           - name: "Left"
//             genlock: rig
//             source: { kind: rig, view: left }
//           - name: "Right"
//             genlock: rig
//             source: { kind: rig, view: right }
//     )yaml");
//     ... start the program's capture on both cards ...
//     virtualcards::setSignal("Left", bmdModeHD1080p50); // the camera is switched to 50p
//     virtualcards::pull("Right");                      // the card is removed
//     virtualcards::plug("Right");                      // and put back (a new card object)

#include "configuration/cardconfiguration.h"

#include <decklink/DeckLinkAPI.h>

#include <string>
#include <vector>

namespace virtualcards {

// The cards of DUOSCOPE_VIRTUAL_CARDS are read at the program's first driver
// call, unless one of the two calls below came first. Both are answered by
// the entry point the program links: the virtual cards alone
// (decklink_virtual) leave pipeline cards out with a message on stderr; the
// composed driver (decklink_drivers) hands them to the GStreamer cards.

// Replaces all cards by those of a configuration, given as text in the format
// of the file that DUOSCOPE_VIRTUAL_CARDS names (YAML, the "%YAML:1.0" line
// optional, or JSON; relative file names from the current directory), or
// "none". The present cards are pulled, then the new ones plugged. A bad
// configuration leaves the driver not installed, returns false and says why
// in *error ("configuration text: <key>: <reason>"); DeckLinkGetDriverMessages
// gives the same text until the next configuration.
bool configure(const std::string& text, std::string* error = nullptr);

// Reads DUOSCOPE_VIRTUAL_CARDS again and applies it as at start-up: unset or
// empty gives the built-in cards, "none" no driver, a bad file a message on
// stderr and from DeckLinkGetDriverMessages ("<path>: <key>: <reason>") and no
// driver. True when the driver is installed afterwards.
bool reload();

// Replaces all cards by the virtual cards of a configuration that the card
// configuration reader has read (its pipeline cards are another driver's), as
// configure() does; `problems` is what kept the intended configuration from
// being used, for driverMessages(). The entry points call this.
void apply(const cardconfig::Configuration& configuration, const std::string& problems);

// False on a machine "without the driver": class creation fails.
bool isInstalled();

// Names of the cards plugged in now, in configuration order.
std::vector<std::string> presentCards();

// The cards plugged in now, in configuration order, one reference each for the caller.
std::vector<IDeckLink*> presentCardObjects();

// Plugs in a configured card that is not present (a new card object, with its
// configured signal); false if there is no such card or it is present.
bool plug(const std::string& name);

// Pulls out a present card: device notifications report its removal, its
// input delivers no more frames and refuses to start; the object lives on
// while the program holds it. False if the card is not present.
bool pull(const std::string& name);

// The camera on the card's input now sends `mode` (0: nothing). A streaming
// input with format detection reports the change once; without, or until the
// program follows, it delivers black frames flagged as without input. The
// mode must be one the card lists. False for an unknown card or mode.
bool setSignal(const std::string& name, BMDDisplayMode mode);

// Beside real cards: display names end in " (virtual)" unless they say
// "virtual" already.
void setMarkedNames(bool marked);

// Class creation of the virtual driver alone (DeckLinkCreateInstance of a
// program whose only driver it is).
HRESULT createInstance(const char* classId, REFIID iid, void** out);

// Problems of the configuration, one a line (empty when there are none).
std::vector<std::string> driverMessages();

// Driver objects and strings alive now (of every driver in the program). After a correct client has released
// everything and the cards are gone (configure("cards: []")), this is 0.
long liveObjects();

// The built-in configuration, as text in the configuration format.
const char* defaultConfiguration();

} // namespace virtualcards
