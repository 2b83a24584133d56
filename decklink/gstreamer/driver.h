#pragma once

// The GStreamer driver as a whole: the pipeline cards of the configuration,
// the devices of GstDeviceMonitor (watched while device notifications are
// installed), the installed notifications and the problems met. One per
// process, never destroyed, as a driver outlives its clients.

#include "card.h"
#include "common/carddiscovery.h"

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gstreamercards {

class Driver : public CardSource
{
public:
    static Driver& instance();

    bool available();
    bool attach(const std::shared_ptr<NotificationQueue>& queue) override;
    void detach(const std::shared_ptr<NotificationQueue>& queue) override;
    void setPipelineCards(const std::vector<PipelineCardSettings>& cards);
    void setDeviceMonitoring(bool enabled);
    std::vector<std::string> presentCards();
    std::vector<IDeckLink*> presentCardObjects();
    void report(const std::string& text);
    std::vector<std::string> messages();

private:
    Driver() = default;

    struct Present
    {
        std::shared_ptr<const CardDescription> description;
        PipelineCardSettings settings; // pipeline cards: what they were made from
        GStreamerCard* card;           // the driver's reference
    };

    // Under m_mutex; the caller releases the returned card when it holds no lock.
    void plugLocked(std::vector<Present>& list, Present present);
    GStreamerCard* pullLocked(std::vector<Present>& list, size_t index);
    void startMonitor();
    void stopMonitor();
    void watchDevices(GstDeviceMonitor* monitor);
    void addDevice(GstDevice* device);
    void removeDevice(GstDevice* device);

    std::mutex m_monitoring; // start and stop of the device monitor, one at a time
    GstDeviceMonitor* m_monitor = nullptr;
    std::thread m_watcher;
    bool m_monitorWanted = true;

    std::mutex m_mutex; // the state below
    bool m_initialised = false;
    bool m_available = false;
    std::vector<Present> m_pipelineCards;
    std::vector<Present> m_deviceCards;
    std::vector<std::shared_ptr<NotificationQueue>> m_queues;
    std::vector<std::string> m_messages;
};

} // namespace gstreamercards
