#include "driver.h"

#include "modes.h"
#include "problems.h"

#include <algorithm>
#include <decklink/gstreamercards.h>
#include <iostream>

namespace gstreamercards {

namespace {

// The newest problems are kept; a long session does not grow the list without end.
constexpr size_t keptMessages = 50;

bool sameSettings(const PipelineCardSettings& a, const PipelineCardSettings& b)
{
    return a.name == b.name && a.description == b.description && a.modes == b.modes &&
           a.formatDetection == b.formatDetection && a.timecodes == b.timecodes;
}

} // namespace

void reportProblem(const std::string& text)
{
    Driver::instance().report(text);
}

GstClock* sharedClock()
{
    static GstClock* const clock = gst_system_clock_obtain();
    return clock;
}

Driver& Driver::instance()
{
    static Driver* const driver = new Driver;
    return *driver;
}

bool Driver::available()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_initialised) {
        m_initialised = true;
        GError* error = nullptr;
        m_available = gst_init_check(nullptr, nullptr, &error);
        if (!m_available) {
            const std::string text = std::string("GStreamer cannot start, so no real card can be used: ") +
                                     (error ? error->message : "unknown error");
            std::cerr << "gstreamer cards: " << text << std::endl;
            m_messages.push_back(text);
        }
        if (error)
            g_error_free(error);
    }
    return m_available;
}

void Driver::report(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_messages.begin(), m_messages.end(), text) != m_messages.end())
        return;
    std::cerr << "gstreamer cards: " << text << std::endl;
    m_messages.push_back(text);
    if (m_messages.size() > keptMessages)
        m_messages.erase(m_messages.begin());
}

std::vector<std::string> Driver::messages()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

void Driver::plugLocked(std::vector<Present>& list, Present present)
{
    present.card = new GStreamerCard(present.description);
    for (const auto& queue : m_queues)
        queue->post(true, present.card);
    list.push_back(std::move(present));
}

GStreamerCard* Driver::pullLocked(std::vector<Present>& list, size_t index)
{
    GStreamerCard* card = list[index].card;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    card->unplug();
    for (const auto& queue : m_queues)
        queue->post(false, card);
    return card;
}

void Driver::setPipelineCards(const std::vector<PipelineCardSettings>& cards)
{
    if (!available() && !cards.empty()) {
        report("pipeline cards cannot run without GStreamer");
        return;
    }
    // Descriptions are checked before the lock is taken: parsing one loads plugins. A card whose
    // description cannot be a source is not made: the crew is told why, and the card is not listed.
    std::vector<PipelineCardSettings> sound;
    std::vector<std::string> refused;
    for (const PipelineCardSettings& settings : cards) {
        const std::string problem = descriptionProblem(settings.description);
        if (problem.empty())
            sound.push_back(settings);
        else
            refused.push_back("\"" + settings.name + "\" cannot start: " + problem);
    }
    std::vector<GStreamerCard*> pulled;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = m_pipelineCards.size(); i-- > 0;) {
            const auto& settings = m_pipelineCards[i].settings;
            if (std::none_of(sound.begin(), sound.end(),
                             [&](const PipelineCardSettings& c) { return sameSettings(c, settings); })) {
                // What went wrong with a card that is no longer configured is no longer news.
                const std::string named = "\"" + settings.name + "\" ";
                m_messages.erase(std::remove_if(m_messages.begin(), m_messages.end(),
                                                [&](const std::string& m) { return m.rfind(named, 0) == 0; }),
                                 m_messages.end());
                pulled.push_back(pullLocked(m_pipelineCards, i));
            }
        }
        for (const PipelineCardSettings& settings : sound) {
            if (std::any_of(m_pipelineCards.begin(), m_pipelineCards.end(),
                            [&](const Present& p) { return sameSettings(p.settings, settings); }))
                continue;
            auto description = std::make_shared<CardDescription>();
            description->name = settings.name;
            description->pipeline = settings.description;
            for (const DisplayModeInfo* mode : settings.modes)
                description->modes.push_back(*mode);
            description->formatDetection = settings.formatDetection;
            description->timecodes = settings.timecodes;
            plugLocked(m_pipelineCards, Present{description, settings, nullptr});
        }
    }
    // With no lock held: a card's last release waits for its stream.
    for (GStreamerCard* card : pulled)
        card->Release();
    // Said as the configuration is read, so that the listing of inputs and the window tell it before
    // anyone starts the card.
    for (const std::string& problem : refused)
        report(problem);
}

void Driver::setDeviceMonitoring(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_monitoring);
    m_monitorWanted = enabled;
}

std::vector<std::string> Driver::presentCards()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const auto* list : {&m_pipelineCards, &m_deviceCards})
        for (const Present& present : *list)
            names.push_back(present.description->name);
    return names;
}

std::vector<IDeckLink*> Driver::presentCardObjects()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<IDeckLink*> cards;
    for (const auto* list : {&m_pipelineCards, &m_deviceCards})
        for (const Present& present : *list) {
            present.card->AddRef();
            cards.push_back(present.card);
        }
    return cards;
}

bool Driver::attach(const std::shared_ptr<NotificationQueue>& queue)
{
    if (!available())
        return false;
    std::lock_guard<std::mutex> monitoring(m_monitoring);
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        first = m_queues.empty();
        m_queues.push_back(queue);
        for (const auto* list : {&m_pipelineCards, &m_deviceCards})
            for (const Present& present : *list)
                queue->post(true, present.card);
    }
    if (first && m_monitorWanted)
        startMonitor();
    return true;
}

void Driver::detach(const std::shared_ptr<NotificationQueue>& queue)
{
    std::lock_guard<std::mutex> monitoring(m_monitoring);
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = std::find(m_queues.begin(), m_queues.end(), queue);
        if (found == m_queues.end())
            return;
        m_queues.erase(found);
        last = m_queues.empty();
    }
    // Devices are watched only while someone listens; their cards leave with the watch.
    if (last)
        stopMonitor();
}

void Driver::startMonitor()
{
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    if (!gst_device_monitor_start(monitor)) {
        // No device provider for video sources is installed: there are simply no devices.
        gst_object_unref(monitor);
        return;
    }
    m_monitor = monitor;
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* item = devices; item; item = item->next)
        addDevice(GST_DEVICE(item->data));
    g_list_free_full(devices, gst_object_unref);
    m_watcher = std::thread([this, monitor] { watchDevices(monitor); });
}

void Driver::stopMonitor()
{
    if (!m_monitor)
        return;
    GstBus* bus = gst_device_monitor_get_bus(m_monitor);
    gst_bus_post(bus, gst_message_new_application(nullptr, gst_structure_new_empty("duoscope-stop")));
    gst_object_unref(bus);
    m_watcher.join();
    gst_device_monitor_stop(m_monitor);
    gst_object_unref(m_monitor);
    m_monitor = nullptr;
    std::vector<GStreamerCard*> pulled;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (!m_deviceCards.empty())
            pulled.push_back(pullLocked(m_deviceCards, m_deviceCards.size() - 1));
    }
    for (GStreamerCard* card : pulled)
        card->Release();
}

void Driver::watchDevices(GstDeviceMonitor* monitor)
{
    GstBus* bus = gst_device_monitor_get_bus(monitor);
    for (bool watching = true; watching;) {
        GstMessage* message = gst_bus_timed_pop_filtered(
            bus, GST_CLOCK_TIME_NONE,
            static_cast<GstMessageType>(GST_MESSAGE_DEVICE_ADDED | GST_MESSAGE_DEVICE_REMOVED |
                                        GST_MESSAGE_APPLICATION));
        if (!message)
            continue;
        GstDevice* device = nullptr;
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_DEVICE_ADDED:
            gst_message_parse_device_added(message, &device);
            addDevice(device);
            break;
        case GST_MESSAGE_DEVICE_REMOVED:
            gst_message_parse_device_removed(message, &device);
            removeDevice(device);
            break;
        default:
            watching = false;
            break;
        }
        if (device)
            gst_object_unref(device);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
}

void Driver::addDevice(GstDevice* device)
{
    auto description = std::make_shared<CardDescription>();
    gchar* name = gst_device_get_display_name(device);
    description->name = name ? name : "GStreamer device";
    g_free(name);
    GstCaps* caps = gst_device_get_caps(device);
    description->modes = modesOfCaps(caps);
    if (caps)
        gst_caps_unref(caps);
    // Capture cards detect the format of their signal; other devices send what they are told.
    const std::string type = G_OBJECT_TYPE_NAME(device);
    description->formatDetection = type.find("Decklink") != std::string::npos;
    description->timecodes = {bmdTimecodeRP188VITC1, bmdTimecodeRP188VITC2, bmdTimecodeRP188LTC};
    if (description->modes.empty() && !description->formatDetection)
        return; // no raw video mode the program can ask for
    if (description->modes.empty())
        description->modes = allDisplayModes();
    description->device = GST_DEVICE(gst_object_ref(device));
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Present& present : m_deviceCards)
        if (present.description->device == device)
            return;
    plugLocked(m_deviceCards, Present{description, {}, nullptr});
}

void Driver::removeDevice(GstDevice* device)
{
    GStreamerCard* card = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < m_deviceCards.size(); ++i)
            if (m_deviceCards[i].description->device == device) {
                card = pullLocked(m_deviceCards, i);
                break;
            }
    }
    if (card)
        card->Release();
}

// The control interface.

bool isAvailable()
{
    return Driver::instance().available();
}
void setPipelineCards(const std::vector<cardcommon::PipelineCardSettings>& cards)
{
    Driver::instance().setPipelineCards(cards);
}
void setDeviceMonitoring(bool enabled)
{
    Driver::instance().setDeviceMonitoring(enabled);
}
std::vector<std::string> presentCards()
{
    return Driver::instance().presentCards();
}
std::vector<IDeckLink*> presentCardObjects()
{
    return Driver::instance().presentCardObjects();
}
std::vector<std::string> driverMessages()
{
    return Driver::instance().messages();
}
HRESULT createDiscovery(IDeckLinkDiscovery** discovery)
{
    if (!discovery)
        return E_POINTER;
    *discovery = nullptr;
    if (!isAvailable())
        return E_FAIL;
    *discovery = new CardDiscovery(Driver::instance());
    return S_OK;
}
long liveObjects()
{
    return liveObjectCounter().load();
}

} // namespace gstreamercards
