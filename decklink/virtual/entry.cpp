// The virtual cards as the only driver of the program: the configured cards
// are read at the first driver call, unless a test or tool configured others.

#include "configuration/configuredcards.h"
#include "driver.h"

#include <iostream>

namespace virtualcards {

namespace {

// Pipeline cards need the GStreamer driver, which a program of the virtual cards alone does not have.
void applyAlone(const ConfiguredCards& cards)
{
    const auto& pipelineCards = cards.configuration.pipelineCards;
    if (!pipelineCards.empty())
        std::cerr << "virtual cards: \"" << pipelineCards.front().name
                  << "\" and other pipeline cards need the GStreamer driver, which this program does not have"
                  << std::endl;
    apply(cards.configuration, cards.problem);
}

ConfigurationOnce& configuration()
{
    static ConfigurationOnce* const once = new ConfigurationOnce(applyAlone);
    return *once;
}

} // namespace

bool configure(const std::string& text, std::string* error)
{
    return configuration().replace(text, error);
}

bool reload()
{
    configuration().replace(readConfiguredCards());
    return isInstalled();
}

} // namespace virtualcards

HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out)
{
    virtualcards::configuration().load();
    return virtualcards::createInstance(classId, iid, out);
}

HRESULT DeckLinkGetDriverMessages(BSTR* messages)
{
    if (!messages)
        return E_POINTER;
    *messages = nullptr;
    virtualcards::configuration().load();
    std::string text;
    for (const std::string& message : virtualcards::driverMessages())
        text += (text.empty() ? "" : "\n") + message;
    if (text.empty())
        return S_FALSE;
    *messages = virtualcards::makeBstr(text.c_str());
    return S_OK;
}
