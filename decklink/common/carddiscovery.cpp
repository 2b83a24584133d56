#include "carddiscovery.h"

namespace cardcommon {

CardDiscovery::~CardDiscovery()
{
    UninstallDeviceNotifications();
}

HRESULT CardDiscovery::InstallDeviceNotifications(IDeckLinkDeviceNotificationCallback* callback)
{
    if (!callback)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue)
        return E_ACCESSDENIED;
    auto queue = std::make_shared<NotificationQueue>(callback);
    // The reports the source posts wait in the queue until its thread runs.
    if (!m_source.attach(queue))
        return E_FAIL;
    queue->start();
    m_queue = std::move(queue);
    return S_OK;
}

HRESULT CardDiscovery::UninstallDeviceNotifications()
{
    std::shared_ptr<NotificationQueue> queue;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(queue, m_queue);
    }
    if (!queue)
        return S_OK;
    m_source.detach(queue);
    queue->stop();
    return S_OK;
}

} // namespace cardcommon
