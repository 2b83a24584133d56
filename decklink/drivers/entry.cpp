// The composed driver: the card configuration read once, its virtual cards
// to the virtual driver and its pipeline cards to the GStreamer driver;
// discovery reports the cards of both through one callback; frame conversion
// is the drivers' common one.

#include "common/comobject.h"
#include "common/frameconverter.h"
#include "configuration/configuredcards.h"

#include <atomic>
#include <decklink/drivers.h>
#include <decklink/gstreamercards.h>
#include <decklink/virtualcards.h>
#include <mutex>
#include <strings.h>

namespace decklinkdrivers {

namespace {

std::atomic<bool> virtualShown{true};

// Each driver builds its own cards of the configuration; virtual card names say what they are.
void applyToBoth(const cardconfig::ConfiguredCards& cards)
{
    virtualcards::setMarkedNames(true);
    virtualcards::apply(cards.configuration, cards.problem);
    gstreamercards::setPipelineCards(cards.configuration.pipelineCards);
}

cardconfig::ConfigurationOnce& configuration()
{
    static cardconfig::ConfigurationOnce* const once = new cardconfig::ConfigurationOnce(applyToBoth);
    return *once;
}

// Both drivers' notifications to one callback.
class ComposedDiscovery : public cardcommon::ComObject<IDeckLinkDiscovery>
{
public:
    ComposedDiscovery(IDeckLinkDiscovery* virtualDiscovery, IDeckLinkDiscovery* gstreamerDiscovery)
    {
        if (virtualDiscovery)
            m_parts.push_back(virtualDiscovery);
        if (gstreamerDiscovery)
            m_parts.push_back(gstreamerDiscovery);
    }

    HRESULT InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* callback) override
    {
        if (!callback)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_installed)
            return E_ACCESSDENIED;
        bool any = false;
        for (IDeckLinkDiscovery* part : m_parts)
            any = part->InstallDeviceNotifications(callback) == S_OK || any;
        if (!any)
            return E_FAIL;
        m_installed = true;
        return S_OK;
    }

    HRESULT UninstallDeviceNotifications() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (IDeckLinkDiscovery* part : m_parts)
            part->UninstallDeviceNotifications();
        m_installed = false;
        return S_OK;
    }

private:
    ~ComposedDiscovery() override
    {
        for (IDeckLinkDiscovery* part : m_parts)
            part->Release();
    }
    void* findInterface(REFIID iid) override
    {
        return iid == IID_IDeckLinkDiscovery ? static_cast<IDeckLinkDiscovery*>(this) : nullptr;
    }

    std::mutex m_mutex;
    std::vector<IDeckLinkDiscovery*> m_parts;
    bool m_installed = false;
};

} // namespace

void setVirtualCardsShown(bool shown)
{
    virtualShown = shown;
}

std::vector<IDeckLink*> presentCards()
{
    configuration().load();
    std::vector<IDeckLink*> cards;
    if (gstreamercards::isAvailable())
        cards = gstreamercards::presentCardObjects();
    if (virtualShown)
        for (IDeckLink* card : virtualcards::presentCardObjects())
            cards.push_back(card);
    return cards;
}

std::vector<std::string> driverMessages()
{
    configuration().load();
    std::vector<std::string> messages = virtualcards::driverMessages();
    for (const std::string& message : gstreamercards::driverMessages())
        messages.push_back(message);
    return messages;
}

} // namespace decklinkdrivers

// The test interface's configuration, as the composed driver answers it: pipeline cards included.
namespace virtualcards {

bool configure(const std::string& text, std::string* error)
{
    return decklinkdrivers::configuration().replace(text, error);
}

bool reload()
{
    decklinkdrivers::configuration().replace(cardconfig::readConfiguredCards());
    return isInstalled();
}

} // namespace virtualcards

HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out)
{
    using namespace decklinkdrivers;
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!classId)
        return E_INVALIDARG;
    // The configuration is read either way: its pipeline cards are real inputs.
    configuration().load();
    const bool virtualInstalled = virtualcards::isInstalled() && virtualShown;
    const bool gstreamer = gstreamercards::isAvailable();
    if (!virtualInstalled && !gstreamer)
        return E_FAIL;
    IUnknown* object = nullptr;
    if (strcasecmp(classId, CLSID_CDeckLinkDiscovery) == 0) {
        IDeckLinkDiscovery* virtualDiscovery = nullptr;
        IDeckLinkDiscovery* gstreamerDiscovery = nullptr;
        if (virtualInstalled)
            virtualcards::createInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                                         reinterpret_cast<void**>(&virtualDiscovery));
        if (gstreamer)
            gstreamercards::createDiscovery(&gstreamerDiscovery);
        object =
            static_cast<IDeckLinkDiscovery*>(new ComposedDiscovery(virtualDiscovery, gstreamerDiscovery));
    } else if (strcasecmp(classId, CLSID_CDeckLinkVideoConversion) == 0) {
        object = static_cast<IDeckLinkVideoConversion*>(new cardcommon::FrameConverter);
    } else {
        return E_FAIL;
    }
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

HRESULT DeckLinkGetDriverMessages(BSTR* messages)
{
    if (!messages)
        return E_POINTER;
    *messages = nullptr;
    std::string text;
    for (const std::string& message : decklinkdrivers::driverMessages())
        text += (text.empty() ? "" : "\n") + message;
    if (text.empty())
        return S_FALSE;
    *messages = cardcommon::makeBstr(text.c_str());
    return S_OK;
}
