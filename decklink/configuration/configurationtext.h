#pragma once

// The check of a configuration's text before OpenCV's parser reads it.
// OpenCV's YAML parser recurses once per level of nesting, reads whole
// numbers into 32 bits without a word, and on text it does not expect reads
// past its line or never returns. Text it would mishandle so is refused here
// with the line it is on.

#include "cardconfiguration.h"

#include <string>

namespace cardconfig {

// text is YAML that opens with "%YAML:1.0" or, when json, JSON; addedLines
// lines were put before the user's text (its line numbers start after them).
// On refusal, error.reason says why, starting with "line N: ".
bool checkConfigurationText(const std::string& text, bool json, int addedLines, ConfigurationError& error);

} // namespace cardconfig
