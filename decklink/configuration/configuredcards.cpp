#include "configuredcards.h"

#include <cstdlib>
#include <iostream>

namespace cardconfig {

namespace {

const char* const environmentVariable = "DUOSCOPE_VIRTUAL_CARDS";

std::string describe(const std::string& origin, const ConfigurationError& error)
{
    return origin + ": " + (error.key.empty() ? std::string() : error.key + ": ") + error.reason;
}

ConfiguredCards unusable(const std::string& problem)
{
    ConfiguredCards cards;
    cards.configuration.installed = false;
    cards.problem = problem;
    return cards;
}

} // namespace

ConfiguredCards readConfiguredCards()
{
    ConfiguredCards cards;
    ConfigurationError error;
    const char* path = std::getenv(environmentVariable);
    if (!path || !*path) {
        parseConfiguration(defaultConfigurationText(), ".", cards.configuration, error);
    } else if (std::string(path) == "none") {
        cards.configuration.installed = false;
    } else if (!loadConfigurationFile(path, cards.configuration, error)) {
        cards = unusable(describe(path, error));
        std::cerr << "virtual cards: " << cards.problem << "; the driver is not installed" << std::endl;
    }
    return cards;
}

ConfiguredCards readConfigurationText(const std::string& text)
{
    ConfiguredCards cards;
    ConfigurationError error;
    if (!parseConfiguration(text, ".", cards.configuration, error))
        cards = unusable(describe("configuration text", error));
    return cards;
}

void ConfigurationOnce::load()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_loaded)
        return;
    m_apply(readConfiguredCards());
    m_loaded = true;
}

void ConfigurationOnce::replace(const ConfiguredCards& cards)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_apply(cards);
    m_loaded = true;
}

bool ConfigurationOnce::replace(const std::string& text, std::string* error)
{
    const ConfiguredCards cards = readConfigurationText(text);
    if (error)
        *error = cards.problem;
    replace(cards);
    return cards.problem.empty();
}

} // namespace cardconfig
