#include "discovery.h"

#include "driver.h"

namespace virtualcards {

VirtualDiscovery::~VirtualDiscovery()
{
    UninstallDeviceNotifications();
}

HRESULT VirtualDiscovery::InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* callback)
{
    if (!callback)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue)
        return E_ACCESSDENIED;
    auto queue = std::make_shared<NotificationQueue>(callback);
    if (!Driver::instance().attach(queue))
        return E_FAIL;
    queue->start();
    m_queue = std::move(queue);
    return S_OK;
}

HRESULT VirtualDiscovery::UninstallDeviceNotifications()
{
    std::shared_ptr<NotificationQueue> queue;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(queue, m_queue);
    }
    if (!queue)
        return S_OK;
    Driver::instance().detach(queue);
    queue->stop();
    return S_OK;
}

} // namespace virtualcards
