#pragma once

#include <QString>
#include <cstdint>

// Texts of the driver's four-character codes; "Unknown" for a code not listed.
// Callable from any thread.
QString pixelFormatToString(uint32_t code);
QString displayModeToString(uint32_t code);
QString timecodeFormatToString(uint32_t code);

// A driver may make up display modes for the formats it meets (a network
// stream's size and rate). The name it gives such a mode is remembered here,
// and displayModeToString gives it from then on.
void rememberDisplayModeName(uint32_t code, const QString& name);
