#pragma once

// Device notifications: each installed callback gets its own driver thread
// that reports the cards present at installation and every later arrival and
// removal, in order.

#include <decklink/DeckLinkAPI.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace cardcommon {

// The reports owed to one callback and the thread that makes them.
class NotificationQueue : public std::enable_shared_from_this<NotificationQueue>
{
public:
    explicit NotificationQueue(IDeckLinkDeviceNotificationCallback* callback);
    ~NotificationQueue();
    NotificationQueue(const NotificationQueue&) = delete;
    NotificationQueue& operator=(const NotificationQueue&) = delete;

    void start();
    void post(bool arrived, IDeckLink* card);
    // Drops the reports not yet made and returns when none runs any more;
    // from within a report it returns at once and the thread ends after it.
    void stop();

private:
    struct Report
    {
        bool arrived;
        IDeckLink* card; // a reference until reported or dropped
    };

    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    IDeckLinkDeviceNotificationCallback* m_callback;
    std::deque<Report> m_reports;
    bool m_stopping = false;
    bool m_running = false;
    std::thread m_thread;
    std::thread::id m_threadId;
};

} // namespace cardcommon
