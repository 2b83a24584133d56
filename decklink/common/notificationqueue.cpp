#include "notificationqueue.h"

namespace cardcommon {

NotificationQueue::NotificationQueue(IDeckLinkDeviceNotificationCallback* callback) : m_callback(callback)
{
    m_callback->AddRef();
}

NotificationQueue::~NotificationQueue()
{
    for (const Report& report : m_reports)
        report.card->Release();
    if (m_callback)
        m_callback->Release();
}

void NotificationQueue::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = true;
    m_thread = std::thread([self = shared_from_this()] { self->run(); });
    m_threadId = m_thread.get_id();
}

void NotificationQueue::post(bool arrived, IDeckLink* card)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping)
        return;
    card->AddRef();
    m_reports.push_back(Report{arrived, card});
    m_wake.notify_all();
}

void NotificationQueue::stop()
{
    std::deque<Report> dropped;
    IDeckLinkDeviceNotificationCallback* callback = nullptr;
    std::thread finished;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stopping = true;
        std::swap(dropped, m_reports);
        std::swap(callback, m_callback);
        m_wake.notify_all();
        if (m_running && std::this_thread::get_id() == m_threadId) {
            m_thread.detach(); // the report under way holds its own reference to the callback
        } else {
            m_wake.wait(lock, [this] { return !m_running; });
            finished = std::move(m_thread);
        }
    }
    if (finished.joinable())
        finished.join();
    for (const Report& report : dropped)
        report.card->Release();
    if (callback)
        callback->Release();
}

void NotificationQueue::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_reports.empty(); });
        if (m_stopping)
            break;
        const Report report = m_reports.front();
        m_reports.pop_front();
        IDeckLinkDeviceNotificationCallback* callback = m_callback;
        callback->AddRef();
        lock.unlock();
        if (report.arrived)
            callback->DeckLinkDeviceArrived(report.card);
        else
            callback->DeckLinkDeviceRemoved(report.card);
        callback->Release();
        report.card->Release();
        lock.lock();
    }
    m_running = false;
    m_wake.notify_all();
}

} // namespace cardcommon
