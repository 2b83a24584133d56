// The composed driver: discovery reports the GStreamer cards and the virtual
// cards through one callback; frame conversion is the drivers' common one.

#include "common/comobject.h"
#include "common/frameconverter.h"

#include <atomic>
#include <decklink/drivers.h>
#include <decklink/gstreamercards.h>
#include <decklink/virtualcards.h>
#include <mutex>
#include <strings.h>

namespace decklinkdrivers {

namespace {

std::atomic<bool> virtualShown{true};

// Pipeline cards of the configuration go to the GStreamer driver; virtual
// card names say what they are. Set before the program's first driver call.
bool wire()
{
    virtualcards::setMarkedNames(true);
    virtualcards::setPipelineCardHandler([](const std::vector<cardcommon::PipelineCardSettings>& cards) {
        gstreamercards::setPipelineCards(cards);
    });
    return true;
}
const bool wired = wire();

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
    std::vector<std::string> messages = virtualcards::driverMessages();
    for (const std::string& message : gstreamercards::driverMessages())
        messages.push_back(message);
    return messages;
}

} // namespace decklinkdrivers

HRESULT DeckLinkCreateInstance(const char* classId, REFIID iid, void** out)
{
    using namespace decklinkdrivers;
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!classId)
        return E_INVALIDARG;
    // The configuration is read either way: its pipeline cards are real inputs.
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
