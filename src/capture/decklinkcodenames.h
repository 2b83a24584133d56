#pragma once

#include <QString>
#include <cstdint>

// Texts of the driver's four-character codes; "Unknown" for a code not listed.
// Stateless, callable from any thread.
QString pixelFormatToString(uint32_t code);
QString displayModeToString(uint32_t code);
QString timecodeFormatToString(uint32_t code);
