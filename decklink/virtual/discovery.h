#pragma once

// Device notifications: each installed callback gets its own driver thread
// that reports the cards present at installation and every later plug and
// pull, in order.

#include "common.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace virtualcards {

class VirtualDiscovery : public ComObject<IDeckLinkDiscovery>
{
public:
    HRESULT InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* callback) override;
    HRESULT UninstallDeviceNotifications() override;

private:
    ~VirtualDiscovery() override;
    void* findInterface(REFIID iid) override
    {
        return iid == IID_IDeckLinkDiscovery ? static_cast<IDeckLinkDiscovery*>(this) : nullptr;
    }

    std::mutex m_mutex;
    std::shared_ptr<NotificationQueue> m_queue;
};

} // namespace virtualcards
