#pragma once

// The cards of the program's driver as text, for --list-inputs: each card's
// name and display modes, then the drivers' set-up problems.

#include <QString>

// Installs device notifications for the time of the listing, so that devices are looked for too.
QString listInputs();
