#pragma once

// Lets the test thread wait for a worker's signal without polling: every
// emission, from whatever thread, releases a semaphore that wait() acquires.
// Connect it after a QSignalSpy on the same signal, so the spy has recorded an
// emission by the time wait() returns for it.

#include <QObject>
#include <QSemaphore>

class EmissionWaiter
{
public:
    template <typename Sender, typename Signal> EmissionWaiter(Sender* sender, Signal signal)
    {
        m_connection = QObject::connect(sender, signal, [this] { m_semaphore.release(); });
    }
    ~EmissionWaiter() { QObject::disconnect(m_connection); }
    EmissionWaiter(const EmissionWaiter&) = delete;
    EmissionWaiter& operator=(const EmissionWaiter&) = delete;

    // True when `count` more emissions arrived within the bound.
    bool wait(int count = 1, int timeoutMs = 10000) { return m_semaphore.tryAcquire(count, timeoutMs); }
    // Forgets emissions not waited for.
    void clear() { m_semaphore.tryAcquire(m_semaphore.available()); }

private:
    QSemaphore m_semaphore;
    QMetaObject::Connection m_connection;
};
