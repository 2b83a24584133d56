#pragma once

// What the virtual cards share with the other drivers: COM objects, display
// modes, frames and their conversion, device notifications; and the card
// configuration they are built from.

#include "common/bufferpool.h"
#include "common/cardframes.h"
#include "common/comobject.h"
#include "common/displaymodes.h"
#include "common/frameconverter.h"
#include "common/inputcallbacks.h"
#include "common/inputframe.h"
#include "common/notificationqueue.h"
#include "common/uyvyconversion.h"
#include "configuration/cardconfiguration.h"

namespace virtualcards {
using namespace cardcommon;
using namespace cardconfig;
} // namespace virtualcards
