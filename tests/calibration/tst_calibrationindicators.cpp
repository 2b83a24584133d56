// The comparison of the two cameras' board detections and the history that
// averages it: pairing, the four measurements, the rings and the colours.

#include "calibration/calibrationindicators.h"
#include "common/boardrectangles.h"

#include <QtTest>
#include <cmath>

Q_DECLARE_METATYPE(std::vector<float>)
Q_DECLARE_METATYPE(IndicatorLimits)

namespace {

// Rectangles each moved down by its own amount.
DetectedRectangles shiftedDown(DetectedRectangles rectangles, const std::vector<float>& shifts)
{
    for (size_t i = 0; i < rectangles.size(); ++i) {
        std::vector<cv::Point2f> corners = rectangles[i].corners();
        for (cv::Point2f& c : corners)
            c.y += shifts[i];
        rectangles[i].setRefinedCorners(corners);
    }
    return rectangles;
}

} // namespace

class TestCalibrationIndicators : public QObject
{
    Q_OBJECT

private slots:
    void listsThatCannotBePairedGiveNoMeasurement_data()
    {
        QTest::addColumn<DetectedRectangles>("left");
        QTest::addColumn<DetectedRectangles>("right");
        DetectedRectangles two = board();
        two.pop_back();
        QTest::newRow("nothing on the left") << DetectedRectangles{} << board();
        QTest::newRow("nothing on the right") << board() << DetectedRectangles{};
        QTest::newRow("nothing at all") << DetectedRectangles{} << DetectedRectangles{};
        QTest::newRow("three against two") << board() << two;
        QTest::newRow("two against three") << two << board();
        QTest::newRow("a right rectangle without area")
            << DetectedRectangles{board()[0]} << DetectedRectangles{DetectedRectangle()};
    }
    void listsThatCannotBePairedGiveNoMeasurement()
    {
        QFETCH(DetectedRectangles, left);
        QFETCH(DetectedRectangles, right);
        QVERIFY(!arePairable(left, right));
        QVERIFY(!meanAreaRatio(left, right));
        QVERIFY(!meanRotationDifference(left, right));
        QVERIFY(!verticalOffsetSum(left, right));
        QVERIFY(!horizontalOffsetSum(left, right));
        QVERIFY(!measureCalibration(left, right));
    }

    void pairedListsAreMeasured_data()
    {
        QTest::addColumn<DetectedRectangles>("left");
        QTest::addColumn<DetectedRectangles>("right");
        QTest::addColumn<double>("areaRatio");
        QTest::addColumn<double>("rotation");
        QTest::addColumn<int>("yOffset");
        QTest::addColumn<int>("xOffset");
        const double tilt = std::atan2(3.0, 480.0) * 180.0 / M_PI; // the outer top edge rises 3 px
        QTest::newRow("identical") << board() << board() << 1.0 << 0.0 << 0 << 0;
        QTest::newRow("left 3 px lower: each pixel counts 4")
            << board(0, 3) << board() << 1.0 << 0.0 << 12 << 0;
        QTest::newRow("left 2 px to the left") << board(-2, 0) << board() << 1.0 << 0.0 << 0 << -8;
        QTest::newRow("right 3 px lower") << board() << board(0, 3) << 1.0 << 0.0 << -12 << 0;
        QTest::newRow("left twice the size: four times the area")
            << board(0, 0, 2) << board() << 4.0 << 0.0 << 0 << 0;
        QTest::newRow("left half the size") << board(0, 0, 0.5) << board() << 0.25 << 0.0 << 0 << 0;
        QTest::newRow("single pair") << DetectedRectangles{board(5, -1)[0]} << DetectedRectangles{board()[0]}
                                     << 1.0 << 0.0 << -4 << 20;
        // Only the outer rectangle tilts: the means over three pairs are a third
        // of its angle and area change. Its right corners lie 3 px lower (6 in
        // the sum, 2 over three pairs) and 0.75 px further left (-1.5, cut to -1,
        // then to 0 over three pairs).
        DetectedRectangles tilted = board();
        tilted[0] = rectangle(400, 300, 480, 120, 3);
        DetectedRectangles upright = board();
        upright[0] = rectangle(400, 300, 480, 120);
        QTest::newRow("outer rectangle tilted")
            << tilted << upright << (57602.25 / 57600.0 + 2) / 3 << tilt / 3 << 2 << 0;
    }
    void pairedListsAreMeasured()
    {
        QFETCH(DetectedRectangles, left);
        QFETCH(DetectedRectangles, right);
        QFETCH(double, areaRatio);
        QFETCH(double, rotation);
        QFETCH(int, yOffset);
        QFETCH(int, xOffset);
        QVERIFY(arePairable(left, right));
        QVERIFY(qAbs(*meanAreaRatio(left, right) - areaRatio) < 1e-9);
        QVERIFY(qAbs(*meanRotationDifference(left, right) - rotation) < 1e-9);
        QCOMPARE(*verticalOffsetSum(left, right), yOffset);
        QCOMPARE(*horizontalOffsetSum(left, right), xOffset);

        const CalibrationMeasurement m = *measureCalibration(left, right);
        QVERIFY(qAbs(m.zoom - (1.0 - areaRatio)) < 1e-9);
        QVERIFY(qAbs(m.rotation - rotation) < 1e-9);
        QCOMPARE(m.yOffset, yOffset);
        QCOMPARE(m.xOffset, xOffset);
    }

    // The running total is cut to a whole number after every pair, toward
    // zero, and so is the division by the number of pairs.
    void offsetsAreTruncatedAsTheyAddUp_data()
    {
        QTest::addColumn<std::vector<float>>("shifts");
        QTest::addColumn<int>("expected");
        // 1.6 per pair: 1, then 2 (not 3.2), over three pairs 0; the exact sum would give 1.
        QTest::newRow("fractions dropped per pair") << std::vector<float>{0.4f, 0.4f, 0.f} << 0;
        // -2.5 per pair: -2, -4, -6, over three pairs -2; rounding down would give -3.
        QTest::newRow("toward zero below zero") << std::vector<float>{-0.625f, -0.625f, -0.625f} << -2;
        QTest::newRow("whole pixels") << std::vector<float>{1.f, 2.f, 3.f} << 8;
    }
    void offsetsAreTruncatedAsTheyAddUp()
    {
        QFETCH(std::vector<float>, shifts);
        QFETCH(int, expected);
        QCOMPARE(*verticalOffsetSum(shiftedDown(board(), shifts), board()), expected);
    }

    void historyAveragesTheLastThreeMeasurements()
    {
        IndicatorHistory history;
        QCOMPARE(history.writePosition(), 0);
        // While the rings fill, the average is over what came in: the first
        // result shows as it is, not a third of it.
        const CalibrationMeasurement first{-3.0, 0.3, 12, -7};
        const CalibrationMeasurement second{-1.0, 0.1, 5, -2};
        struct Step
        {
            CalibrationMeasurement measurement;
            double zoom, rotation;
            int y, x;
        };
        const Step steps[] = {
            {first, -3.0, 0.3, 12, -7},
            {second, -2.0, 0.2, 9, -5},                           // 8.5 and -4.5 rounded away from zero
            {CalibrationMeasurement{}, -4.0 / 3, 0.4 / 3, 6, -3}, // 17/3 and -9/3
            {second, -2.0 / 3, 0.2 / 3, 3, -1},                   // the first measurement replaced
        };
        for (int i = 0; i < 4; ++i) {
            const CalibrationAverages a = history.add(steps[i].measurement);
            QVERIFY2(qAbs(a.zoom - steps[i].zoom) < 1e-12, qPrintable(QString::number(a.zoom)));
            QVERIFY(qAbs(a.rotation - steps[i].rotation) < 1e-12);
            QCOMPARE(a.yOffset, steps[i].y);
            QCOMPARE(a.xOffset, steps[i].x);
            QCOMPARE(history.writePosition(), (i + 1) % 3);
            QCOMPARE(history.size(), std::min(i + 1, 3));
        }
        // A cleared history starts again from its next measurement alone.
        history.clear();
        QCOMPARE(history.size(), 0);
        QCOMPARE(history.writePosition(), 0);
        const CalibrationAverages a = history.add(second);
        QVERIFY(qAbs(a.zoom - -1.0) < 1e-12);
        QCOMPARE(a.yOffset, 5);
    }

    void offsetAveragesRoundToTheNearest_data()
    {
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<int>("expected");
        QTest::newRow("half up, away from zero") << QList<int>{0, 1} << 1;
        QTest::newRow("half down, away from zero") << QList<int>{0, -1} << -1;
        QTest::newRow("2/3 up") << QList<int>{1, 1, 0} << 1;
        QTest::newRow("-2/3 down") << QList<int>{-1, -1, 0} << -1;
        QTest::newRow("1/3 to 0") << QList<int>{1, 0, 0} << 0;
        QTest::newRow("-1/3 to 0") << QList<int>{-1, 0, 0} << 0;
    }
    void offsetAveragesRoundToTheNearest()
    {
        QFETCH(QList<int>, values);
        QFETCH(int, expected);
        IndicatorHistory history;
        CalibrationAverages a;
        for (int value : values)
            a = history.add(CalibrationMeasurement{0, 0, value, value});
        QCOMPARE(a.yOffset, expected);
        QCOMPARE(a.xOffset, expected);
    }

    void resultsThatCannotBeComparedSayWhy_data()
    {
        QTest::addColumn<bool>("leftNoSignal");
        QTest::addColumn<bool>("rightNoSignal");
        QTest::addColumn<QSize>("rightSize"); // the left picture is 1920 x 1080
        QTest::addColumn<DetectedRectangles>("left");
        QTest::addColumn<DetectedRectangles>("right");
        QTest::addColumn<int>("problem");
        const QSize full(1920, 1080);
        DetectedRectangles two = board();
        two.pop_back();
        const DetectedRectangles none;
        QTest::newRow("comparable") << false << false << full << board() << board()
                                    << int(ComparisonProblem::None);
        QTest::newRow("no signal left, board right")
            << true << false << full << none << board() << int(ComparisonProblem::NoSignalLeft);
        QTest::newRow("no signal right")
            << false << true << full << board() << none << int(ComparisonProblem::NoSignalRight);
        QTest::newRow("no signal at all")
            << true << true << full << none << none << int(ComparisonProblem::NoSignalBoth);
        QTest::newRow("different sizes, boards found") << false << false << QSize(1280, 720) << board()
                                                       << board() << int(ComparisonProblem::DifferentSizes);
        QTest::newRow("same width, other height") << false << false << QSize(1920, 540) << board() << none
                                                  << int(ComparisonProblem::DifferentSizes);
        QTest::newRow("board missing left")
            << false << false << full << none << board() << int(ComparisonProblem::BoardMissingLeft);
        QTest::newRow("board missing right")
            << false << false << full << board() << none << int(ComparisonProblem::BoardMissingRight);
        QTest::newRow("board missing in both")
            << false << false << full << none << none << int(ComparisonProblem::BoardMissingBoth);
        QTest::newRow("three against two")
            << false << false << full << board() << two << int(ComparisonProblem::DifferentRectangles);
    }
    void resultsThatCannotBeComparedSayWhy()
    {
        QFETCH(bool, leftNoSignal);
        QFETCH(bool, rightNoSignal);
        QFETCH(QSize, rightSize);
        QFETCH(DetectedRectangles, left);
        QFETCH(DetectedRectangles, right);
        QFETCH(int, problem);
        const ComparedSide l{leftNoSignal, 1920, 1080, &left};
        const ComparedSide r{rightNoSignal, rightSize.width(), rightSize.height(), &right};
        QCOMPARE(int(comparisonProblem(l, r)), problem);
        // Exactly the comparable results are measured.
        QCOMPARE(measureCalibration(left, right).has_value() && problem == int(ComparisonProblem::None),
                 problem == int(ComparisonProblem::None));
    }

    void statesFollowTheLimits_data()
    {
        QTest::addColumn<double>("average");
        QTest::addColumn<IndicatorLimits>("limits");
        QTest::addColumn<int>("state");
        const int green = int(IndicatorState::Green);
        const int yellow = int(IndicatorState::Yellow);
        const int red = int(IndicatorState::Red);
        QTest::newRow("zoom 0") << 0.0 << kZoomLimits << green;
        QTest::newRow("zoom 0.01 still green") << 0.01 << kZoomLimits << green;
        QTest::newRow("zoom -0.015") << -0.015 << kZoomLimits << yellow;
        QTest::newRow("zoom 0.02 still yellow") << 0.02 << kZoomLimits << yellow;
        QTest::newRow("zoom -0.021") << -0.021 << kZoomLimits << red;
        QTest::newRow("rotation -0.2") << -0.2 << kRotationLimits << green;
        QTest::newRow("rotation 0.5") << 0.5 << kRotationLimits << yellow;
        QTest::newRow("rotation 0.51") << 0.51 << kRotationLimits << red;
        QTest::newRow("y 2") << 2.0 << kYOffsetLimits << green;
        QTest::newRow("y -3") << -3.0 << kYOffsetLimits << yellow;
        QTest::newRow("y 5") << 5.0 << kYOffsetLimits << yellow;
        QTest::newRow("y 6") << 6.0 << kYOffsetLimits << red;
        QTest::newRow("x -2") << -2.0 << kXOffsetLimits << green;
        QTest::newRow("x 100") << 100.0 << kXOffsetLimits << yellow;
        QTest::newRow("x -101") << -101.0 << kXOffsetLimits << red;
    }
    void statesFollowTheLimits()
    {
        QFETCH(double, average);
        QFETCH(IndicatorLimits, limits);
        QFETCH(int, state);
        QCOMPARE(int(indicatorState(average, limits)), state);
    }
};

QTEST_GUILESS_MAIN(TestCalibrationIndicators)
#include "tst_calibrationindicators.moc"
