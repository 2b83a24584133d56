#pragma once

// Starts and stops a worker many times, as tab changes and capture restarts
// do. Every other cycle stops right after start, often before run has begun;
// the others stop once the worker has handled one input. Each stop is
// followed by a wait whose bound, far above any real stop, fails the test
// instead of hanging it.

#include "common/emissionwaiter.h"

#include <QString>
#include <QtTest>

// offer gives the worker one input that yields exactly one result when handled.
template <class Worker, class Offer>
void startStopCycles(Worker& worker, EmissionWaiter& results, int cycles, Offer offer)
{
    const unsigned long bound = 10000;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        results.clear();
        offer(); // dropped when an input from an earlier cycle is still pending
        worker.start();
        if (cycle % 2 == 1)
            QVERIFY2(results.wait(1, bound), qPrintable(QString("no result in cycle %1").arg(cycle)));
        worker.stop();
        QVERIFY2(worker.wait(bound), qPrintable(QString("stop not effective in cycle %1").arg(cycle)));
    }
}
