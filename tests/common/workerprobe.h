#pragma once

// A worker thread with a view of its mailbox, so a test can tell when the
// previous frame is completely handled (the pending flag is cleared just
// after the result is emitted) before it offers the next one.

#include <QMutexLocker>
#include <QtTest>

template <class Worker> class WorkerProbe : public Worker
{
public:
    using Worker::Worker;

    bool isIdle()
    {
        QMutexLocker lock(&this->inputMutex);
        return !this->inputPending;
    }
};

#define WAIT_IDLE(worker) QTRY_VERIFY_WITH_TIMEOUT((worker).isIdle(), 10000)
