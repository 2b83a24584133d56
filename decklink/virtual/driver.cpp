#include "driver.h"

#include "common.h"

#include <cstdlib>
#include <decklink/virtualcards.h>
#include <iostream>
#include <sstream>
#include <strings.h>

namespace virtualcards {

namespace {

const char* const environmentVariable = "DUOSCOPE_VIRTUAL_CARDS";

std::string describe(const std::string& origin, const ConfigurationError& error)
{
    return origin + ": " + (error.key.empty() ? std::string() : error.key + ": ") + error.reason;
}

} // namespace

Driver& Driver::instance()
{
    static Driver* const driver = new Driver;
    return *driver;
}

void Driver::loadOnce()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_loaded)
            return;
    }
    std::vector<VirtualCard*> pulled;
    {
        std::lock_guard<std::mutex> configuring(m_configuring);
        pulled = loadLocked();
    }
    releaseAll(pulled);
}

std::vector<VirtualCard*> Driver::loadLocked()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_loaded)
            return {};
    }
    Configuration configuration;
    ConfigurationError error;
    std::string problem;
    const char* path = std::getenv(environmentVariable);
    if (!path || !*path) {
        parseConfiguration(defaultConfigurationText(), ".", configuration, error);
    } else if (std::string(path) == "none") {
        configuration.installed = false;
    } else if (!loadConfigurationFile(path, configuration, error)) {
        // Half a configuration would mislead: without a sound one the driver is not there.
        problem = describe(path, error);
        std::cerr << "virtual cards: " << problem << "; the driver is not installed" << std::endl;
        configuration = Configuration{};
        configuration.installed = false;
    }
    return apply(configuration, problem);
}

bool Driver::reload()
{
    std::vector<VirtualCard*> pulled;
    {
        std::lock_guard<std::mutex> configuring(m_configuring);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_loaded = false;
        }
        pulled = loadLocked();
    }
    releaseAll(pulled);
    return isInstalled();
}

bool Driver::configure(const std::string& text, std::string* error)
{
    Configuration configuration;
    ConfigurationError problem;
    const bool ok = parseConfiguration(text, ".", configuration, problem);
    std::string description;
    if (!ok) {
        description = describe("configuration text", problem);
        if (error)
            *error = description;
        configuration = Configuration{};
        configuration.installed = false;
    }
    std::vector<VirtualCard*> pulled;
    {
        std::lock_guard<std::mutex> configuring(m_configuring);
        pulled = apply(configuration, description);
    }
    releaseAll(pulled);
    return ok;
}

void Driver::releaseAll(const std::vector<VirtualCard*>& cards)
{
    // With no lock held: a card's last release waits for its stream, whose callback may call the driver.
    for (VirtualCard* card : cards)
        card->Release();
}

std::vector<VirtualCard*> Driver::apply(const Configuration& configuration, const std::string& problems)
{
    std::shared_ptr<const RigScene> rig;
    for (const CardSettings& card : configuration.cards)
        if (card.source.kind == SourceKind::Rig && !rig)
            rig = std::make_shared<const RigScene>(configuration.rig);

    std::vector<PipelineCardSettings> pipelineCards;
    for (const CardSettings& card : configuration.cards)
        if (card.source.kind == SourceKind::Pipeline && card.plugged)
            pipelineCards.push_back(PipelineCardSettings{card.name, card.source.description, card.modes,
                                                         card.formatDetection, card.timecodes});
    m_pipelineCards = pipelineCards;
    if (m_pipelineHandler)
        m_pipelineHandler(pipelineCards);
    else if (!pipelineCards.empty())
        std::cerr << "virtual cards: \"" << pipelineCards.front().name
                  << "\" and other pipeline cards need the GStreamer driver, which this program does not have"
                  << std::endl;

    std::vector<VirtualCard*> pulled;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Slot& slot : m_slots)
            if (VirtualCard* card = pullLocked(slot))
                pulled.push_back(card);
        m_slots.clear();
        m_genlockClocks.clear();
        m_loaded = true;
        m_installed = configuration.installed;
        m_problems = problems;
        m_rig = rig;
        // A genlock group runs from now on, from its start timecode or the time of day.
        for (const CardSettings& card : configuration.cards) {
            auto& clock = m_genlockClocks[card.genlock];
            if (!card.genlock.empty() && (!clock || card.hasTimecodeStart))
                clock = std::make_shared<const FrameClock>(
                    SteadyClock::now(), card.hasTimecodeStart ? card.timecodeStart : timeOfDayNow());
        }
        for (const CardSettings& card : configuration.cards) {
            if (card.source.kind == SourceKind::Pipeline)
                continue;
            m_slots.push_back(Slot{std::make_shared<const CardSettings>(card)});
            if (card.plugged)
                plugLocked(m_slots.back());
        }
    }
    return pulled;
}

void Driver::plugLocked(Slot& slot)
{
    const CardSettings& settings = *slot.settings;
    std::shared_ptr<const FrameClock> clock =
        settings.genlock.empty()
            ? std::make_shared<const FrameClock>(
                  SteadyClock::now(), settings.hasTimecodeStart ? settings.timecodeStart : timeOfDayNow())
            : m_genlockClocks[settings.genlock];
    slot.card = new VirtualCard(slot.settings, clock, makeSource(settings.source, m_rig));
    for (const auto& queue : m_queues)
        queue->post(true, slot.card);
}

VirtualCard* Driver::pullLocked(Slot& slot)
{
    VirtualCard* card = slot.card;
    if (!card)
        return nullptr;
    slot.card = nullptr;
    card->unplug();
    for (const auto& queue : m_queues)
        queue->post(false, card);
    return card;
}

Driver::Slot* Driver::findLocked(const std::string& name)
{
    for (Slot& slot : m_slots)
        if (slot.settings->name == name)
            return &slot;
    return nullptr;
}

HRESULT Driver::createInstance(const char* classId, REFIID iid, void** out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!classId)
        return E_INVALIDARG;
    if (!isInstalled())
        return E_FAIL;
    IUnknown* object = nullptr;
    if (strcasecmp(classId, CLSID_CDeckLinkDiscovery) == 0)
        object = static_cast<IDeckLinkDiscovery*>(new CardDiscovery(*this));
    else if (strcasecmp(classId, CLSID_CDeckLinkVideoConversion) == 0)
        object = static_cast<IDeckLinkVideoConversion*>(new FrameConverter);
    else
        return E_FAIL;
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

bool Driver::attach(const std::shared_ptr<NotificationQueue>& queue)
{
    loadOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_installed)
        return false;
    m_queues.push_back(queue);
    for (const Slot& slot : m_slots)
        if (slot.card)
            queue->post(true, slot.card);
    return true;
}

void Driver::detach(const std::shared_ptr<NotificationQueue>& queue)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queues.erase(std::remove(m_queues.begin(), m_queues.end(), queue), m_queues.end());
}

bool Driver::isInstalled()
{
    loadOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_installed;
}

std::vector<std::string> Driver::presentCards()
{
    loadOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const Slot& slot : m_slots)
        if (slot.card)
            names.push_back(slot.settings->name);
    return names;
}

std::vector<IDeckLink*> Driver::presentCardObjects()
{
    loadOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<IDeckLink*> cards;
    for (const Slot& slot : m_slots)
        if (slot.card) {
            slot.card->AddRef();
            cards.push_back(slot.card);
        }
    return cards;
}

bool Driver::plug(const std::string& name)
{
    loadOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    Slot* slot = findLocked(name);
    if (!slot || slot->card)
        return false;
    plugLocked(*slot);
    return true;
}

bool Driver::pull(const std::string& name)
{
    loadOnce();
    VirtualCard* card = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Slot* slot = findLocked(name);
        if (!slot || !slot->card)
            return false;
        card = pullLocked(*slot);
    }
    card->Release();
    return true;
}

bool Driver::setSignal(const std::string& name, BMDDisplayMode code)
{
    loadOnce();
    const DisplayModeInfo* mode = code == 0 ? nullptr : findDisplayMode(code);
    VirtualCard* card = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Slot* slot = findLocked(name);
        if (!slot || !slot->card || (code != 0 && !mode))
            return false;
        const auto& modes = slot->settings->modes;
        if (mode && std::find(modes.begin(), modes.end(), mode) == modes.end())
            return false;
        card = slot->card;
        card->AddRef();
    }
    card->setSignal(mode); // renders the new picture: outside the lock
    card->Release();
    return true;
}

void Driver::setPipelineCardHandler(PipelineCardHandler handler)
{
    std::lock_guard<std::mutex> configuring(m_configuring);
    m_pipelineHandler = std::move(handler);
    bool loaded = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        loaded = m_loaded;
    }
    if (loaded && m_pipelineHandler)
        m_pipelineHandler(m_pipelineCards);
}

std::atomic<bool>& markedNames()
{
    static std::atomic<bool> marked{false};
    return marked;
}

std::string Driver::problems()
{
    loadOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_problems;
}

// The test interface.

bool configure(const std::string& text, std::string* error)
{
    return Driver::instance().configure(text, error);
}
bool reload()
{
    return Driver::instance().reload();
}
bool isInstalled()
{
    return Driver::instance().isInstalled();
}
std::vector<std::string> presentCards()
{
    return Driver::instance().presentCards();
}
std::vector<IDeckLink*> presentCardObjects()
{
    return Driver::instance().presentCardObjects();
}
bool plug(const std::string& name)
{
    return Driver::instance().plug(name);
}
bool pull(const std::string& name)
{
    return Driver::instance().pull(name);
}
bool setSignal(const std::string& name, BMDDisplayMode mode)
{
    return Driver::instance().setSignal(name, mode);
}
void setPipelineCardHandler(PipelineCardHandler handler)
{
    Driver::instance().setPipelineCardHandler(std::move(handler));
}
HRESULT createInstance(const char* classId, REFIID iid, void** out)
{
    return Driver::instance().createInstance(classId, iid, out);
}
std::vector<std::string> driverMessages()
{
    std::vector<std::string> lines;
    std::istringstream problems(Driver::instance().problems());
    for (std::string line; std::getline(problems, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}
void setMarkedNames(bool marked)
{
    markedNames() = marked;
}
long liveObjects()
{
    return liveObjectCounter().load();
}
const char* defaultConfiguration()
{
    return defaultConfigurationText();
}

} // namespace virtualcards
