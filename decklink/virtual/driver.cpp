#include "driver.h"

#include "common.h"

#include <decklink/virtualcards.h>
#include <sstream>
#include <strings.h>

namespace virtualcards {

Driver& Driver::instance()
{
    static Driver* const driver = new Driver;
    return *driver;
}

void Driver::apply(const Configuration& configuration, const std::string& problems)
{
    std::vector<VirtualCard*> pulled;
    std::lock_guard<std::mutex> configuring(m_configuring);
    std::shared_ptr<const RigScene> rig;
    for (const CardSettings& card : configuration.cards)
        if (card.source.kind == SourceKind::Rig && !rig)
            rig = std::make_shared<const RigScene>(configuration.rig);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Slot& slot : m_slots)
            if (VirtualCard* card = pullLocked(slot))
                pulled.push_back(card);
        m_slots.clear();
        m_genlockClocks.clear();
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
            m_slots.push_back(Slot{std::make_shared<const CardSettings>(card)});
            if (card.plugged)
                plugLocked(m_slots.back());
        }
    }
    // Outside m_mutex: a card's last release waits for its stream, whose callback may call the driver.
    for (VirtualCard* card : pulled)
        card->Release();
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
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_installed;
}

std::vector<std::string> Driver::presentCards()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const Slot& slot : m_slots)
        if (slot.card)
            names.push_back(slot.settings->name);
    return names;
}

std::vector<IDeckLink*> Driver::presentCardObjects()
{
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
    std::lock_guard<std::mutex> lock(m_mutex);
    Slot* slot = findLocked(name);
    if (!slot || slot->card)
        return false;
    plugLocked(*slot);
    return true;
}

bool Driver::pull(const std::string& name)
{
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

std::atomic<bool>& markedNames()
{
    static std::atomic<bool> marked{false};
    return marked;
}

std::string Driver::problems()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_problems;
}

// The test interface.

void apply(const Configuration& configuration, const std::string& problems)
{
    Driver::instance().apply(configuration, problems);
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
