#pragma once

// The cards a program's driver is configured with: the file that
// DUOSCOPE_VIRTUAL_CARDS names, the built-in cards, or a configuration given
// as text (tests, tools), read once by the driver's entry point, which hands
// each driver its cards.

#include "cardconfiguration.h"

#include <functional>
#include <mutex>
#include <string>

namespace cardconfig {

struct ConfiguredCards
{
    Configuration configuration; // not installed when it cannot be used
    std::string problem;         // "<file>: <key>: <reason>"; empty when it was read
};

// DUOSCOPE_VIRTUAL_CARDS: unset or empty gives the built-in cards, "none" no
// virtual cards, a file its cards. A file that cannot be used gives nothing
// (half a configuration would mislead), says why on stderr and in `problem`.
ConfiguredCards readConfiguredCards();

// A configuration as text, relative file names from the current directory;
// one that cannot be used gives nothing, and `problem` ("configuration text:
// <key>: <reason>").
ConfiguredCards readConfigurationText(const std::string& text);

// The configuration of a program's driver: the configured cards on first use,
// unless a configuration was given before; one configuration applied at a
// time. `apply` hands the cards to the drivers.
class ConfigurationOnce
{
public:
    using Apply = std::function<void(const ConfiguredCards&)>;
    explicit ConfigurationOnce(Apply apply) : m_apply(std::move(apply)) {}

    // The configured cards, unless a configuration was applied already.
    void load();
    // Replaces the configuration.
    void replace(const ConfiguredCards& cards);
    // Replaces it by a configuration given as text; false, and why in *error, when that cannot be used.
    bool replace(const std::string& text, std::string* error);

private:
    const Apply m_apply;
    std::mutex m_mutex;
    bool m_loaded = false;
};

} // namespace cardconfig
