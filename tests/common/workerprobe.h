#pragma once

// A worker thread with a view of its mailbox, so a test can tell when the
// previous frame is completely handled (the pending flag is cleared just
// after the result is emitted) before it offers the next one.

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>

template <class Worker> class WorkerProbe : public Worker
{
public:
    using Worker::Worker;

    bool isIdle()
    {
        QMutexLocker lock(&this->inputMutex);
        return !this->inputPending;
    }

    // The rest of a handling is a few instructions after its result: yielding
    // is enough, and far quicker than a polling interval.
    bool waitIdle(int timeoutMs = 10000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!isIdle()) {
            if (deadline.hasExpired())
                return false;
            QThread::yieldCurrentThread();
        }
        return true;
    }
};
