#pragma once

// The device notifications of a driver: one queue, and so one driver thread,
// per installation, fed by the driver's cards.

#include "comobject.h"
#include "notificationqueue.h"

#include <memory>
#include <mutex>

namespace cardcommon {

// What a driver does for a discovery: attach reports every card present to
// the queue and all later arrivals and removals (false when the driver
// cannot), detach stops that.
class CardSource
{
public:
    virtual bool attach(const std::shared_ptr<NotificationQueue>& queue) = 0;
    virtual void detach(const std::shared_ptr<NotificationQueue>& queue) = 0;

protected:
    ~CardSource() = default;
};

class CardDiscovery : public ComObject<IDeckLinkDiscovery>
{
public:
    // The source outlives the discovery (a driver is never destroyed).
    explicit CardDiscovery(CardSource& source) : m_source(source) {}

    HRESULT InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* callback) override;
    HRESULT UninstallDeviceNotifications() override;

private:
    ~CardDiscovery() override;
    void* findInterface(REFIID iid) override
    {
        return iid == IID_IDeckLinkDiscovery ? static_cast<IDeckLinkDiscovery*>(this) : nullptr;
    }

    CardSource& m_source;
    std::mutex m_mutex;
    std::shared_ptr<NotificationQueue> m_queue;
};

} // namespace cardcommon
