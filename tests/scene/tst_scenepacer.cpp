// The scene worker's pacing: five measurements a second on average at most,
// every instant of a 25 frames-per-second signal taken despite the jitter of
// its delivery, no burst after a pause, and a pair the busy worker refused
// leaving the turn where it was.

#include "scene/scenepacer.h"

#include <QtTest>
#include <algorithm>
#include <vector>

Q_DECLARE_METATYPE(std::vector<qint64>)
Q_DECLARE_METATYPE(std::vector<int>)

class TestScenePacer : public QObject
{
    Q_OBJECT
private slots:
    void takesPairs_data();
    void takesPairs();
};

void TestScenePacer::takesPairs_data()
{
    QTest::addColumn<std::vector<qint64>>("arrivals"); // ms, of the board instants' pairs
    QTest::addColumn<std::vector<int>>("busy");        // arrivals the worker refuses (still measuring)
    QTest::addColumn<std::vector<int>>("taken");       // arrivals measured

    QTest::newRow("25 frames/s, on time") << std::vector<qint64>{0, 200, 400, 600, 800} << std::vector<int>{}
                                          << std::vector<int>{0, 1, 2, 3, 4};
    // A pair 20 ms early, one 30 ms late then one on time: the turns keep to
    // the signal's own rhythm.
    QTest::newRow("25 frames/s, delivered with jitter")
        << std::vector<qint64>{0, 180, 430, 600, 795, 1010} << std::vector<int>{}
        << std::vector<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("50 frames/s: every other instant") << std::vector<qint64>{0, 100, 200, 300, 400, 500, 600}
                                                      << std::vector<int>{} << std::vector<int>{0, 2, 4, 6};
    // Instants 167 ms apart: five in the second, never two within 160 ms.
    QTest::newRow("30 frames/s") << std::vector<qint64>{0, 167, 333, 500, 667, 833, 1000}
                                 << std::vector<int>{} << std::vector<int>{0, 1, 3, 4, 5};
    QTest::newRow("after a pause, no burst")
        << std::vector<qint64>{0, 1000, 1050, 1100, 1200} << std::vector<int>{} << std::vector<int>{0, 1, 4};
    // The refused pair does not count: the next instant is taken.
    QTest::newRow("a pair refused by the busy worker")
        << std::vector<qint64>{0, 200, 400, 600} << std::vector<int>{1} << std::vector<int>{0, 2, 3};
    QTest::newRow("the first pair refused")
        << std::vector<qint64>{0, 40, 240} << std::vector<int>{0} << std::vector<int>{1, 2};
}

void TestScenePacer::takesPairs()
{
    QFETCH(std::vector<qint64>, arrivals);
    QFETCH(std::vector<int>, busy);
    QFETCH(std::vector<int>, taken);

    ScenePacer pacer;
    std::vector<int> measured;
    for (int k = 0; k < int(arrivals.size()); ++k) {
        if (!pacer.isDue(arrivals[size_t(k)]) || std::find(busy.begin(), busy.end(), k) != busy.end())
            continue;
        pacer.taken(arrivals[size_t(k)]);
        measured.push_back(k);
    }
    QCOMPARE(measured, taken);
}

QTEST_APPLESS_MAIN(TestScenePacer)
#include "tst_scenepacer.moc"
