#pragma once

#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

// The loop that the pipeline's worker threads share. A one-frame mailbox:
// inputPending under inputMutex, so a frame offered while one is pending is
// dropped and the worker never builds a queue. A stop flag under stopMutex.
// Between frames run sleeps on a wait condition woken by a new frame and by
// stop, so an idle worker costs no processor time.
//
// Each worker keeps its stored frames under a mutex of its own, taken by
// handleInput for the whole handling; inputPending is cleared after it. The
// offer takes that mutex only when nothing is pending, and handling happens
// only while something is, so the two never contend.
//
// A worker that must never lose the newest input offers through
// offerNewestInput instead: it always stores, replacing what the worker has
// not taken yet, and an input stored during a handling makes run handle
// again. Its store and its handling share the frame mutex briefly, so the
// handling copies what it needs and works without it.
//
// Deliberately without Q_OBJECT: the meta-object of each worker holds its own
// signals and slots and nothing else.
class WorkerThread : public QThread
{
public:
    // Clears the stop flag, then starts the thread. Clearing it here and not in
    // run makes a stop issued right after start effective even when run has not
    // begun yet, so a stop followed by an unbounded wait always returns.
    // Workers are started through this, not through QThread::start.
    void start(Priority priority = InheritPriority);

    // Asks run to return and wakes it. Any thread. A frame still pending stays
    // pending and is the first one handled after the next start.
    void stop();

protected:
    // The function that a logging category's declaration makes.
    using LogCategory = const QLoggingCategory& (*)();

    // logName begins the worker's "stopped" and error lines, written to
    // logCategory.
    WorkerThread(const char* logName, LogCategory logCategory, QObject* parent);

    // Stores an offered frame when none is pending and wakes run; returns false
    // when the frame is dropped. store runs under inputMutex and takes the
    // worker's frame mutex.
    template <typename Store> bool offerInput(Store store)
    {
        QMutexLocker lock(&inputMutex);
        if (inputPending)
            return false;
        store();
        inputPending = true;
        wakeCondition.wakeOne();
        return true;
    }

    // Stores an offered frame whether or not one is pending and wakes run; a
    // frame stored while run is handling leads to one more handling. store
    // runs under inputMutex and takes the worker's frame mutex.
    template <typename Store> void offerNewestInput(Store store)
    {
        QMutexLocker lock(&inputMutex);
        store();
        inputPending = true;
        inputRenewed = true;
        wakeCondition.wakeOne();
    }

    // Handles the pending frame, in the worker thread. An exception thrown here
    // (an OpenCV error) is logged by run, the frame counts as handled and the
    // worker goes on.
    virtual void handleInput() = 0;

    bool stopRequested = false;
    QMutex stopMutex;
    bool inputPending = false;
    QMutex inputMutex;

private:
    bool inputRenewed = false; // an input was stored since run began its handling
    void run() override;
    bool isStopRequested();

    QWaitCondition wakeCondition; // waited on with inputMutex
    const char* logName;
    const LogCategory logCategory;
};
