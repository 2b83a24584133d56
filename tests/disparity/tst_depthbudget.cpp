// The depth budget: percentiles of the matched pixels of maps with known
// disparities, the budget on a target screen with its divergence warning, and
// the range the live analysis searches on narrowed pictures.

#include "disparity/depthbudget.h"

#include <QtTest>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Runs of raw values (sixteenths of a pixel) and how many pixels carry each.
using Runs = std::vector<std::pair<int, int>>;

// A map 1000 pixels wide filled row by row with the runs.
cv::Mat mapOf(const Runs& runs)
{
    int total = 0;
    for (const auto& run : runs)
        total += run.second;
    cv::Mat raw(total / 1000, 1000, CV_16SC1);
    int16_t* out = raw.ptr<int16_t>(0);
    for (const auto& [code, count] : runs)
        out = std::fill_n(out, count, int16_t(code));
    return raw;
}

} // namespace

Q_DECLARE_METATYPE(Runs)

class TestDepthBudget : public QObject
{
    Q_OBJECT
private slots:
    void budgetIsThePercentilesOfTheMatchedPixels_data()
    {
        QTest::addColumn<Runs>("runs");
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("nearestPercent");
        QTest::addColumn<double>("farthestPercent");
        QTest::addColumn<qint64>("matched");
        // A wall 40 px behind the screen, a box 20 px in front (disparity = -parallax).
        QTest::newRow("wall, screen plane and box") << Runs{{-640, 3000}, {0, 5000}, {320, 2000}} << -64 << 64
                                                    << true << -2.0 << 4.0 << qint64(10000);
        // The matcher marks unmatched pixels below the range; counted, they
        // would be the farthest parallax.
        QTest::newRow("unmatched pixels left out")
            << Runs{{-1025, 4000}, {-640, 3000}, {0, 5000}, {320, 2000}} << -64 << 64 << true << -2.0 << 4.0
            << qint64(10000);
        QTest::newRow("one percent of stray matches ignored")
            << Runs{{-1024, 50}, {48, 9900}, {1024, 50}} << -80 << 80 << true << -0.3 << -0.3
            << qint64(10000);
        QTest::newRow("just over one percent is the budget")
            << Runs{{-1024, 101}, {48, 9798}, {1024, 101}} << -80 << 80 << true << -6.4 << 6.4
            << qint64(10000);
        // Disparities -500..499, one pixel each: the 1st and 99th percentiles
        // fall between neighbours (ranks 9.99 and 989.01).
        QTest::newRow("interpolated between neighbouring pixels") << [] {
            Runs ramp;
            for (int d = -500; d < 500; ++d)
                ramp.push_back({d * 16, 1});
            return ramp;
        }() << -512 << 512 << true << -48.901 << 49.001 << qint64(1000);
        QTest::newRow("sixteenths of a pixel")
            << Runs{{-17, 500}, {25, 500}} << -16 << 16 << true << -0.15625 << 0.10625 << qint64(1000);
        // The matcher leaves what it cannot place inside the range at its
        // ends (-64 and 63 px for -64..64): not counted, however many.
        QTest::newRow("the ends of the range left out")
            << Runs{{-1024, 250}, {-1020, 250}, {-640, 3000}, {0, 5000},
                    {320, 2000},  {1000, 250},  {1008, 250}}
            << -64 << 64 << true << -2.0 << 4.0 << qint64(11000);
        QTest::newRow("just inside the ends is counted") << Runs{{-1008, 200}, {-640, 4800}, {992, 5000}}
                                                         << -64 << 64 << true << -6.2 << 6.3 << qint64(10000);
        QTest::newRow("nothing but the ends")
            << Runs{{-1024, 500}, {1008, 500}} << -64 << 64 << false << 0.0 << 0.0 << qint64(1000);
        QTest::newRow("nothing matched")
            << Runs{{-1025, 2000}} << -64 << 64 << false << 0.0 << 0.0 << qint64(0);
        QTest::newRow("a range above zero: everything below it unmatched")
            << Runs{{0, 1000}, {320, 1000}} << 16 << 32 << true << -2.0 << -2.0 << qint64(1000);
    }
    void budgetIsThePercentilesOfTheMatchedPixels()
    {
        QFETCH(Runs, runs);
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(bool, valid);
        QFETCH(double, nearestPercent);
        QFETCH(double, farthestPercent);
        QFETCH(qint64, matched);
        const cv::Mat raw = mapOf(runs);
        const DepthBudget budget = depthBudget(raw, minDisparity, maxDisparity);
        QCOMPARE(budget.valid, valid);
        QCOMPARE(budget.matchedPixels, matched);
        QCOMPARE(budget.pixels, qint64(raw.total()));
        QCOMPARE(budget.pictureWidth, 1000);
        if (!valid)
            return;
        QVERIFY2(std::abs(budget.nearestPercent - nearestPercent) < 1e-9,
                 qPrintable(QString::number(budget.nearestPercent, 'g', 10)));
        QVERIFY2(std::abs(budget.farthestPercent - farthestPercent) < 1e-9,
                 qPrintable(QString::number(budget.farthestPercent, 'g', 10)));
        QVERIFY(std::abs(budget.totalPercent() - (farthestPercent - nearestPercent)) < 1e-9);
        // On the 1000-pixel-wide picture a percent is 10 pixels.
        QVERIFY(std::abs(budget.nearestPixels() - nearestPercent * 10) < 1e-9);
        QVERIFY(std::abs(budget.farthestPixels() - farthestPercent * 10) < 1e-9);
        QVERIFY(std::abs(budget.totalPixels() - (farthestPercent - nearestPercent) * 10) < 1e-9);
    }

    void rangeEndsAreReportedAndFitted_data()
    {
        QTest::addColumn<Runs>("runs");
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<bool>("reachesFar");
        QTest::addColumn<bool>("reachesNear");
        QTest::addColumn<int>("fitMin");
        QTest::addColumn<int>("fitMax");
        // Disparities -40 and 20 px: the range is drawn in to them with 8 px to
        // spare, to multiples of 16.
        QTest::newRow("inside: drawn in")
            << Runs{{-640, 5000}, {320, 5000}} << -64 << 64 << false << false << -48 << 32;
        QTest::newRow("a few at an end are not the scene")
            << Runs{{-1024, 5}, {-640, 4995}, {320, 5000}} << -64 << 64 << false << false << -48 << 32;
        QTest::newRow("the near end: widened by half the range")
            << Runs{{-640, 5000}, {1008, 5000}} << -64 << 64 << false << true << -48 << 128;
        QTest::newRow("a scene beyond the range on both sides")
            << Runs{{-1024, 400}, {-300, 200}, {1008, 400}} << -64 << 64 << true << true << -128 << 128;
        QTest::newRow("held to the matcher's limits")
            << Runs{{-32512, 500}, {32752, 500}} << -2032 << 2048 << true << true << -2032 << 2048;
    }
    void rangeEndsAreReportedAndFitted()
    {
        QFETCH(Runs, runs);
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(bool, reachesFar);
        QFETCH(bool, reachesNear);
        const DepthBudget budget = depthBudget(mapOf(runs), minDisparity, maxDisparity);
        QCOMPARE(budget.reachesFarEnd, reachesFar);
        QCOMPARE(budget.reachesNearEnd, reachesNear);
        const QString warning = searchRangeWarning(budget, minDisparity, maxDisparity);
        QCOMPARE(warning.contains(QStringLiteral("the far end")), reachesFar);
        QCOMPARE(warning.contains(QStringLiteral("the near end")), reachesNear);
        // The Fit range the window offers.
        const DisparityRange fitted = fittedRange(budget, minDisparity, maxDisparity);
        QTEST(fitted.minDisparity, "fitMin");
        QTEST(fitted.maxDisparity, "fitMax");
    }

    void percentileOfAMapThatIsNotRawIsRefused()
    {
        QVERIFY_EXCEPTION_THROWN(depthBudget(cv::Mat(4, 4, CV_8UC1, cv::Scalar(0)), -64, 64), cv::Exception);
        QVERIFY(std::isnan(disparityPercentile(mapOf({{-1025, 1000}}), -64, 50)));
        QCOMPARE(disparityPercentile(mapOf({{-640, 500}, {320, 500}}), -64, 0), -40.0);
        QCOMPARE(disparityPercentile(mapOf({{-640, 500}, {320, 500}}), -64, 100), 20.0);
    }

    void budgetOnATargetScreen_data()
    {
        QTest::addColumn<double>("nearestPercent");
        QTest::addColumn<double>("farthestPercent");
        QTest::addColumn<double>("screenWidth"); // metres
        QTest::addColumn<double>("eyeSeparation");
        QTest::addColumn<double>("nearestMm");
        QTest::addColumn<double>("farthestMm");
        QTest::addColumn<QString>("warning");
        // A 1920-pixel picture whose background lies 14.72 px behind the screen.
        const double far = 14.72 / 1920 * 100;
        QTest::newRow("cinema, 12 m") << -1.0 << far << 12.0 << 65.0 << -120.0 << 92.0
                                      << "far background diverges on a 12 m screen: 92 mm > 65 mm";
        QTest::newRow("5 m") << -1.0 << far << 5.0 << 65.0 << -50.0 << 92.0 * 5 / 12 << QString();
        QTest::newRow("television, 1.4 m")
            << -1.0 << far << 1.4 << 65.0 << -14.0 << 92.0 * 1.4 / 12 << QString();
        QTest::newRow("custom 8 m, 1 %") << -0.5 << 1.0 << 8.0 << 65.0 << -40.0 << 80.0
                                         << "far background diverges on an 8 m screen: 80 mm > 65 mm";
        QTest::newRow("custom 11.5 m") << 0.0 << 1.0 << 11.5 << 65.0 << 0.0 << 115.0
                                       << "far background diverges on an 11.5 m screen: 115 mm > 65 mm";
        QTest::newRow("exactly the eye separation does not diverge")
            << 0.0 << 0.65 << 10.0 << 65.0 << 0.0 << 65.0 << QString();
        QTest::newRow("just over: a decimal tells the two apart")
            << 0.0 << 0.654 << 10.0 << 65.0 << 0.0 << 65.4
            << "far background diverges on a 10 m screen: 65.4 mm > 65 mm";
        QTest::newRow("narrow eyes diverge sooner")
            << 0.0 << 0.5 << 12.0 << 55.0 << 0.0 << 60.0
            << "far background diverges on a 12 m screen: 60 mm > 55 mm";
        QTest::newRow("everything in front of the screen")
            << -3.0 << -1.0 << 12.0 << 65.0 << -360.0 << -120.0 << QString();
    }
    void budgetOnATargetScreen()
    {
        QFETCH(double, nearestPercent);
        QFETCH(double, farthestPercent);
        QFETCH(double, screenWidth);
        QFETCH(double, eyeSeparation);
        QFETCH(double, nearestMm);
        QFETCH(double, farthestMm);
        QFETCH(QString, warning);
        DepthBudget budget;
        budget.valid = true;
        budget.nearestPercent = nearestPercent;
        budget.farthestPercent = farthestPercent;
        budget.pictureWidth = 1920;
        const ScreenBudget screen = screenBudget(budget, screenWidth, eyeSeparation);
        QVERIFY2(std::abs(screen.nearestMm - nearestMm) < 1e-6,
                 qPrintable(QString::number(screen.nearestMm)));
        QVERIFY2(std::abs(screen.farthestMm - farthestMm) < 1e-6,
                 qPrintable(QString::number(screen.farthestMm)));
        QVERIFY(std::abs(screen.totalMm - (farthestMm - nearestMm)) < 1e-6);
        QCOMPARE(screen.diverges, !warning.isEmpty());
        QCOMPARE(divergenceWarning(budget, screenWidth, eyeSeparation), warning);

        budget.valid = false; // no budget, no warning
        QCOMPARE(divergenceWarning(budget, screenWidth, eyeSeparation), QString());
    }

    void liveRangeFollowsThePictureScale_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        QTest::addColumn<double>("factor");
        QTest::addColumn<int>("liveMin");
        QTest::addColumn<int>("liveMax");
        QTest::newRow("1080p, the defaults") << 1920 << -64 << 64 << 0.5 << -32 << 32;
        QTest::newRow("1080p, widest") << 1920 << -256 << 256 << 0.5 << -128 << 128;
        QTest::newRow("1080p, half a step rounds away from zero") << 1920 << -64 << 16 << 0.5 << -32 << 16;
        QTest::newRow("720p") << 1280 << -64 << 64 << 0.75 << -48 << 48;
        QTest::newRow("4K") << 3840 << -64 << 64 << 0.25 << -16 << 16;
        QTest::newRow("4K, one step above zero stays one step") << 3840 << 0 << 16 << 0.25 << 0 << 16;
        QTest::newRow("4K, one step below zero stays one step") << 3840 << -16 << 0 << 0.25 << -16 << 0;
        QTest::newRow("already 960 wide") << 960 << -64 << 64 << 1.0 << -64 << 64;
        QTest::newRow("SD, narrower than the target") << 720 << -48 << 32 << 1.0 << -48 << 32;
    }
    void liveRangeFollowsThePictureScale()
    {
        QFETCH(int, width);
        QFETCH(int, minDisparity);
        QFETCH(int, maxDisparity);
        QFETCH(double, factor);
        QFETCH(int, liveMin);
        QFETCH(int, liveMax);
        const LiveScale scale = liveScale(width, minDisparity, maxDisparity);
        QCOMPARE(scale.factor, factor);
        QCOMPARE(scale.minDisparity, liveMin);
        QCOMPARE(scale.maxDisparity, liveMax);
    }
};

QTEST_GUILESS_MAIN(TestDepthBudget)
#include "tst_depthbudget.moc"
