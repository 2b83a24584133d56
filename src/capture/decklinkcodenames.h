#pragma once

#include <QString>
#include <cstdint>

// Texts of the driver's four-character codes; "Unknown" for a code not listed.
// Callable from any thread.
QString pixelFormatToString(uint32_t code);
QString displayModeToString(uint32_t code);
QString timecodeFormatToString(uint32_t code);

// Frames (not fields) per second of a display mode; 0 when the mode is not
// known. Callable from any thread.
double displayModeFrameRate(uint32_t code);

// A driver may make up display modes for the formats it meets (a network
// stream's size and rate). The name and frame rate it gives such a mode are
// remembered here, and displayModeToString and displayModeFrameRate give them
// from then on (a rate of 0: not known).
void rememberDisplayMode(uint32_t code, const QString& name, double framesPerSecond);
