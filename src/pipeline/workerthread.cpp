#include "pipeline/workerthread.h"

#include <exception>

WorkerThread::WorkerThread(const char* logName, LogCategory logCategory, QObject* parent)
    : QThread(parent), logName(logName), logCategory(logCategory)
{}

void WorkerThread::start(Priority priority)
{
    {
        QMutexLocker lock(&stopMutex);
        stopRequested = false;
    }
    QThread::start(priority);
}

void WorkerThread::stop()
{
    {
        QMutexLocker lock(&stopMutex);
        stopRequested = true;
    }
    // Waking under inputMutex means run is either before its check of the flag
    // (and sees it) or already waiting (and is woken): the wake cannot be lost.
    QMutexLocker lock(&inputMutex);
    wakeCondition.wakeAll();
}

bool WorkerThread::isStopRequested()
{
    QMutexLocker lock(&stopMutex);
    return stopRequested;
}

void WorkerThread::run()
{
    for (;;) {
        {
            // stopMutex is only ever taken inside inputMutex, never the other way round.
            QMutexLocker lock(&inputMutex);
            while (!inputPending && !isStopRequested())
                wakeCondition.wait(&inputMutex);
            inputRenewed = false;
        }
        // The stop is seen before a pending frame, which then survives the stop.
        if (isStopRequested()) {
            qCDebug(logCategory) << logName << "- stopped" << QThread::currentThreadId();
            return;
        }
        try {
            handleInput();
        } catch (const std::exception& error) {
            qCWarning(logCategory) << logName << "- frame not handled:" << error.what();
        }
        QMutexLocker lock(&inputMutex);
        inputPending = inputRenewed;
    }
}
