// The rectangle record of a detection: corner order, area, dominant edge,
// angle, and the quadrilateral test it shares with the detector.

#include "calibration/detectedrectangle.h"

#include <QtTest>
#include <cmath>

Q_DECLARE_METATYPE(cv::Point2f)

namespace {

// The corners of a w x h rectangle around (cx, cy), listed top-left,
// top-right, bottom-right, bottom-left, turned by `degrees` clockwise on screen.
std::vector<cv::Point2f> turnedRectangle(double cx, double cy, double w, double h, double degrees)
{
    const double a = degrees * CV_PI / 180.0;
    std::vector<cv::Point2f> points;
    for (const cv::Point2d& p : {cv::Point2d(-w / 2, -h / 2), cv::Point2d(w / 2, -h / 2),
                                 cv::Point2d(w / 2, h / 2), cv::Point2d(-w / 2, h / 2)})
        points.emplace_back(float(cx + p.x * std::cos(a) - p.y * std::sin(a)),
                            float(cy + p.x * std::sin(a) + p.y * std::cos(a)));
    return points;
}

} // namespace

class TestDetectedRectangle : public QObject
{
    Q_OBJECT
private slots:
    void defaultHasNoCorners()
    {
        const DetectedRectangle rectangle;
        QVERIFY(rectangle.corners().empty());
        QCOMPARE(rectangle.center(), cv::Point2f(0, 0));
        QCOMPARE(rectangle.area(), 0.0);
    }

    void cornersAreOrderedFromAnyStart_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("reversed");
        for (int start = 0; start < 4; ++start) {
            QTest::addRow("start %d, clockwise", start) << start << false;
            QTest::addRow("start %d, counter-clockwise", start) << start << true;
        }
    }
    void cornersAreOrderedFromAnyStart()
    {
        QFETCH(int, start);
        QFETCH(bool, reversed);
        std::vector<cv::Point> cycle = {{100, 100}, {300, 100}, {300, 200}, {100, 200}};
        if (reversed)
            std::reverse(cycle.begin(), cycle.end());
        std::rotate(cycle.begin(), cycle.begin() + start, cycle.end());

        DetectedRectangle rectangle;
        QVERIFY(rectangle.setCorners(cycle));
        const std::vector<cv::Point2f> expected = {{100, 100}, {300, 100}, {300, 200}, {100, 200}};
        QCOMPARE(rectangle.corners(), expected);
        QCOMPARE(rectangle.center(), cv::Point2f(200, 150));
        QCOMPARE(rectangle.area(), 20000.0);
        QCOMPARE(rectangle.dominantEdge(), cv::Vec4i(100, 100, 300, 100));
        QCOMPARE(rectangle.angle(), 0.0);
    }

    void portraitRectangleHasTheRightEdgeAtNinety()
    {
        DetectedRectangle rectangle;
        QVERIFY(rectangle.setCorners(std::vector<cv::Point>{{100, 500}, {100, 100}, {400, 100}, {400, 500}}));
        QCOMPARE(rectangle.dominantEdge(), cv::Vec4i(400, 100, 400, 500));
        QCOMPARE(rectangle.angle(), 90.0);
    }

    void turnedRectangles_data()
    {
        QTest::addColumn<double>("turn");
        QTest::addColumn<double>("angle");
        QTest::addColumn<int>("firstCorner"); // index in TL, TR, BR, BL before turning
        QTest::newRow("10 clockwise") << 10.0 << 10.0 << 0;
        QTest::newRow("10 counter-clockwise") << -10.0 << -10.0 << 0;
        // The top-left corner passes -180 degrees: the order starts at the
        // former top-right corner and the dominant edge is the former bottom
        // edge, right to left.
        QTest::newRow("30 counter-clockwise") << -30.0 << 150.0 << 1;
    }
    void turnedRectangles()
    {
        QFETCH(double, turn);
        QFETCH(double, angle);
        QFETCH(int, firstCorner);
        const std::vector<cv::Point2f> points = turnedRectangle(400, 300, 200, 100, turn);
        DetectedRectangle rectangle;
        QVERIFY(rectangle.setCorners(points));
        QCOMPARE(rectangle.corners()[0], points[firstCorner]);
        QVERIFY2(std::fabs(rectangle.angle() - angle) < 0.5, qPrintable(QString::number(rectangle.angle())));
    }

    void dominantEdgeRoundsHalvesToEven()
    {
        DetectedRectangle rectangle;
        QVERIFY(rectangle.setCorners(
            std::vector<cv::Point2f>{{100.5f, 50.5f}, {301.5f, 50.5f}, {301.5f, 150.5f}, {100.5f, 150.5f}}));
        QCOMPARE(rectangle.dominantEdge(), cv::Vec4i(100, 50, 302, 50));
    }

    void refinedCornersKeepOrderAndCentre()
    {
        DetectedRectangle rectangle;
        QVERIFY(rectangle.setCorners(std::vector<cv::Point>{{100, 100}, {300, 100}, {300, 200}, {100, 200}}));
        const std::vector<cv::Point2f> refined = {
            {100.4f, 99.7f}, {299.6f, 100.2f}, {300.3f, 200.1f}, {99.8f, 199.9f}};
        rectangle.setRefinedCorners(refined);
        QCOMPARE(rectangle.corners(), refined);
        QCOMPARE(rectangle.center(), cv::Point2f(200, 150));
        rectangle.setRefinedCorners({{1, 1}});
        QCOMPARE(rectangle.corners(), refined);
    }

    // A rhombus with its angles `offRight` degrees away from 90.
    void rhombusLimits_data()
    {
        QTest::addColumn<double>("offRight");
        QTest::addColumn<bool>("strict");
        QTest::addColumn<bool>("loose");
        QTest::newRow("5 degrees") << 5.0 << true << true;
        QTest::newRow("6 degrees") << 6.0 << false << true;
        QTest::newRow("17 degrees") << 17.0 << false << true;
        QTest::newRow("18 degrees") << 18.0 << false << false;
    }
    void rhombusLimits()
    {
        QFETCH(double, offRight);
        QFETCH(bool, strict);
        QFETCH(bool, loose);
        // Sides of 100 from (0, 0): along x, then turned by 90 - offRight.
        const double a = (90.0 - offRight) * CV_PI / 180.0;
        const cv::Point2f d(float(100 * std::cos(a)), float(100 * std::sin(a)));
        const std::vector<cv::Point2f> rhombus = {
            {200, 200}, {300, 200}, cv::Point2f(300, 200) + d, cv::Point2f(200, 200) + d};
        DetectedRectangle rectangle;
        QCOMPARE(rectangle.setCorners(rhombus), strict);
        QCOMPARE(rectangle.corners().empty(), !strict);
        QCOMPARE(isValidQuad(rhombus, false, 0), loose);
        QCOMPARE(isValidQuad(rhombus, false, 1), strict);
    }

    void malformedOutlinesAreRefused_data()
    {
        QTest::addColumn<std::vector<cv::Point2f>>("points");
        QTest::newRow("three points") << std::vector<cv::Point2f>{{0, 0}, {100, 0}, {100, 100}};
        QTest::newRow("five points") << std::vector<cv::Point2f>{
            {0, 0}, {50, -1}, {100, 0}, {100, 100}, {0, 100}};
        QTest::newRow("not convex") << std::vector<cv::Point2f>{{0, 0}, {100, 0}, {40, 40}, {0, 100}};
        QTest::newRow("crossed") << std::vector<cv::Point2f>{{0, 0}, {100, 100}, {100, 0}, {0, 100}};
    }
    void malformedOutlinesAreRefused()
    {
        QFETCH(std::vector<cv::Point2f>, points);
        DetectedRectangle rectangle;
        QVERIFY(!rectangle.setCorners(points));
        QVERIFY(rectangle.corners().empty());
        QVERIFY(!isValidQuad(points, false, 0));
        QVERIFY(!isValidQuad(points, true, 0));
    }

    // The side 0-1 is measured against the side 1-2, not the other way round.
    void aspectTestIsAsymmetric_data()
    {
        QTest::addColumn<float>("first");
        QTest::addColumn<float>("second");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("100 then 135") << 100.0f << 135.0f << true;
        QTest::newRow("135 then 100") << 135.0f << 100.0f << false;
        QTest::newRow("100 then 150") << 100.0f << 150.0f << false;
        QTest::newRow("100 then 100") << 100.0f << 100.0f << true;
    }
    void aspectTestIsAsymmetric()
    {
        QFETCH(float, first);
        QFETCH(float, second);
        QFETCH(bool, accepted);
        const std::vector<cv::Point2f> points = {{0, 0}, {first, 0}, {first, second}, {0, second}};
        QCOMPARE(isValidQuad(points, true, 0), accepted);
        QVERIFY(isValidQuad(points, false, 0));
    }

    void detectionsTravelAsMetaType()
    {
        const int id = qRegisterMetaType<std::vector<DetectedRectangle>>("std::vector<DetectedRectangle>");
        QCOMPARE(QMetaType::type("std::vector<DetectedRectangle>"), id);
        DetectedRectangle rectangle;
        QVERIFY(rectangle.setCorners(std::vector<cv::Point>{{10, 10}, {60, 10}, {60, 40}, {10, 40}}));
        const QVariant value = QVariant::fromValue(std::vector<DetectedRectangle>{rectangle});
        const auto back = value.value<std::vector<DetectedRectangle>>();
        QCOMPARE(back.size(), size_t(1));
        QCOMPARE(back[0].corners(), rectangle.corners());
    }
};

QTEST_GUILESS_MAIN(TestDetectedRectangle)
#include "tst_detectedrectangle.moc"
