// The quick pattern check and the board detector: each stage with exact
// input, and whole pictures of the board at known poses.

#include "calibration/boardquad.h"
#include "calibration/tesra_board_detector.h"
#include "common/boardscene.h"

#include <QtTest>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(cv::Size2d)
Q_DECLARE_METATYPE(cv::Point)

namespace {

cv::Mat whitePicture(cv::Size size)
{
    return cv::Mat(size, CV_8U, cv::Scalar(230));
}

void drawSquare(cv::Mat& picture, cv::Point2d centre, double side, double degrees = 0.0)
{
    cv::Point2f corners[4];
    cv::RotatedRect(cv::Point2f(centre), cv::Size2f(float(side), float(side)), float(degrees))
        .points(corners);
    std::vector<cv::Point> polygon;
    for (const cv::Point2f& c : corners)
        polygon.emplace_back(cvRound(c.x * 16), cvRound(c.y * 16));
    cv::fillConvexPoly(picture, polygon, cv::Scalar(30), cv::LINE_AA, 4);
}

// Two squares of `side` pixels, turned 45 degrees, touching tip to tip at
// `contact` across a hairline gap: one contact point of a board.
void drawPair(cv::Mat& picture, cv::Point2d contact, double side)
{
    const double shift = side / std::sqrt(2.0) + 0.8;
    drawSquare(picture, contact - cv::Point2d(shift, 0), side, 45.0);
    drawSquare(picture, contact + cv::Point2d(shift, 0), side, 45.0);
}

// Contact points on `count` nested rectangles, 100 pixels apart, 1920 x 1080.
std::vector<cv::Point2d> nestedOutlines(int count)
{
    std::vector<cv::Point2d> points;
    for (int k = 0; k < count; ++k) {
        const double left = 260 + 100 * k, right = 1660 - 100 * k, top = 140 + 100 * k,
                     bottom = 940 - 100 * k;
        for (double x = left; x < right - 100; x += 200) {
            points.emplace_back(x, top);
            points.emplace_back(x, bottom);
        }
        points.emplace_back(right, top);
        points.emplace_back(right, bottom);
        points.emplace_back(left, (top + bottom) / 2);
        points.emplace_back(right, (top + bottom) / 2);
    }
    return points;
}

BoardQuad squareQuad(cv::Point topLeft, int side)
{
    BoardQuad quad;
    const std::vector<cv::Point> corners = {topLeft, topLeft + cv::Point(side, 0),
                                            topLeft + cv::Point(side, side), topLeft + cv::Point(0, side)};
    [&] { QVERIFY(makeQuad(corners, quad)); }();
    return quad;
}

double largestCornerError(const std::vector<DetectedRectangle>& found,
                          const std::vector<std::array<cv::Point2d, 4>>& expected)
{
    double worst = 0.0;
    for (size_t i = 0; i < expected.size(); ++i)
        for (int k = 0; k < 4; ++k)
            worst = std::max(worst, cv::norm(cv::Point2d(found[i].corners()[k]) - expected[i][k]));
    return worst;
}

int errorCode(const std::function<void()>& call, QString* message, QString* function)
{
    try {
        call();
    } catch (const cv::Exception& e) {
        *message = QString::fromStdString(e.err);
        *function = QString::fromStdString(e.func);
        return e.code;
    }
    return 0;
}

} // namespace

class TestBoardDetector : public QObject
{
    Q_OBJECT
private slots:
    // ---- quick check ----

    void quickCheckCountsSquaresOfOneSize_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("firstSide");
        QTest::addColumn<double>("lastSide");
        QTest::addColumn<int>("result");
        QTest::newRow("30 squares of 40") << 30 << 40.0 << 40.0 << 1;
        QTest::newRow("29 squares of 40") << 29 << 40.0 << 40.0 << 0;
        QTest::newRow("30 squares from 40 to 60") << 30 << 40.0 << 60.0 << 0;
        QTest::newRow("40 squares of 22: 16 after dilation, under 19.2") << 40 << 22.0 << 22.0 << 0;
    }
    void quickCheckCountsSquaresOfOneSize()
    {
        QFETCH(int, count);
        QFETCH(double, firstSide);
        QFETCH(double, lastSide);
        QFETCH(int, result);
        cv::Mat picture = whitePicture(cv::Size(1920, 1080));
        for (int i = 0; i < count; ++i) {
            const double side = firstSide + (lastSide - firstSide) * i / std::max(1, count - 1);
            drawSquare(picture, cv::Point2d(100 + (i % 10) * 170, 150 + (i / 10) * 170), side);
        }
        QCOMPARE(cvCheckChessboard(picture), result);
    }

    void quickCheckIgnoresSmallAndElongatedBlobs_data()
    {
        QTest::addColumn<cv::Size2d>("blob");
        QTest::addColumn<int>("result");
        QTest::newRow("16 x 16: 10 after dilation") << cv::Size2d(17, 17) << 1;
        QTest::newRow("14 x 14: 8 after dilation") << cv::Size2d(14, 14) << 0;
        QTest::newRow("longer than 2 : 1") << cv::Size2d(44, 18) << 0;
    }
    void quickCheckIgnoresSmallAndElongatedBlobs()
    {
        QFETCH(cv::Size2d, blob);
        QFETCH(int, result);
        cv::Mat picture = whitePicture(cv::Size(640, 480));
        for (int i = 0; i < 40; ++i) {
            const cv::Point2d centre(40 + (i % 8) * 75, 50 + (i / 8) * 90);
            cv::rectangle(
                picture,
                cv::Rect(cv::Point(centre - cv::Point2d(blob.width / 2, blob.height / 2)), cv::Size(blob)),
                cv::Scalar(30), cv::FILLED);
        }
        QCOMPARE(cvCheckChessboard(picture), result);
    }

    void quickCheckRejectsEmptyScenes()
    {
        QCOMPARE(cvCheckChessboard(cv::Mat(1080, 1920, CV_8U, cv::Scalar(128))), 0);
        SceneLook look;
        look.channels = 1;
        look.noiseSigma = 2.0;
        QCOMPARE(cvCheckChessboard(renderEmptyScene(cv::Size(1920, 1080), look)), 0);
    }

    void unsupportedInputRaisesNamedErrors_data()
    {
        QTest::addColumn<bool>("quickCheck");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("check: three channels")
            << true << int(CV_8UC3) << -15 << "supports single-channel images only";
        QTest::newRow("check: 16 bit") << true << int(CV_16UC1) << -17 << "supports depth=8 images only";
        QTest::newRow("detector: two channels")
            << false << int(CV_8UC2) << -210 << "Only 8-bit grayscale or color images are supported";
        QTest::newRow("detector: 16 bit")
            << false << int(CV_16UC3) << -210 << "Only 8-bit grayscale or color images are supported";
        QTest::newRow("detector: float")
            << false << int(CV_32FC1) << -210 << "Only 8-bit grayscale or color images are supported";
    }
    void unsupportedInputRaisesNamedErrors()
    {
        QFETCH(bool, quickCheck);
        QFETCH(int, type);
        QFETCH(int, code);
        QFETCH(QString, message);
        const cv::Mat picture(100, 100, type, cv::Scalar::all(0));
        std::vector<DetectedRectangle> rectangles(2);
        QString text, function;
        const int raised = errorCode(
            [&] {
                if (quickCheck)
                    cvCheckChessboard(picture);
                else
                    findTesraBoard(picture, rectangles);
            },
            &text, &function);
        QCOMPARE(raised, code);
        QCOMPARE(text, message);
        QCOMPARE(function,
                 quickCheck ? QStringLiteral("cvCheckChessboard") : QStringLiteral("findTesraBoard"));
        if (!quickCheck)
            QVERIFY(rectangles.empty());
    }

    // ---- stages ----

    void limitsFollowThePictureSize_data()
    {
        QTest::addColumn<cv::Size>("size");
        QTest::addColumn<int>("wideBlock");
        QTest::addColumn<int>("narrowBlock");
        QTest::addColumn<float>("minArea");
        QTest::addColumn<float>("maxArea");
        QTest::newRow("1920 x 1080") << cv::Size(1920, 1080) << 217 << 109 << 368.64f << 9216.0f;
        QTest::newRow("640 x 480") << cv::Size(640, 480) << 97 << 49 << 100.0f << 1024.0f;
    }
    void limitsFollowThePictureSize()
    {
        QFETCH(cv::Size, size);
        QFETCH(int, wideBlock);
        QFETCH(int, narrowBlock);
        QFETCH(float, minArea);
        QFETCH(float, maxArea);
        QCOMPARE(thresholdBlockSize(size, 0), wideBlock);
        QCOMPARE(thresholdBlockSize(size, 1), narrowBlock);
        QCOMPARE(thresholdBlockSize(size, 2), wideBlock);
        QCOMPARE(quadAreaLimits(size).minArea, minArea);
        QCOMPARE(quadAreaLimits(size).maxArea, maxArea);
    }

    // Dark squares are the holes of the white region; their outline runs
    // through the white pixels around them, one pixel out.
    void quadsLieWithinTheAreaLimits_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<bool>("found");
        QTest::newRow("8 pixels: outline area 81") << 8 << false;
        QTest::newRow("10 pixels: outline area 121") << 10 << true;
        QTest::newRow("30 pixels: outline area 961") << 30 << true;
        QTest::newRow("32 pixels: outline area 1089") << 32 << false;
    }
    void quadsLieWithinTheAreaLimits()
    {
        QFETCH(int, side);
        QFETCH(bool, found);
        cv::Mat binary(480, 640, CV_8U, cv::Scalar(255));
        cv::rectangle(binary, cv::Rect(100, 100, side, side), cv::Scalar(0), cv::FILLED);
        const std::vector<BoardQuad> quads = findQuads(binary, quadAreaLimits(binary.size()));
        QCOMPARE(quads.size(), size_t(found ? 1 : 0));
        if (found) // the outline cuts the square's corners diagonally
            QVERIFY(std::fabs(quads[0].minEdgeLength - side) < 1.0f);
    }

    // Two quads whose nearest free corners are `dx`, `dy` apart.
    void linkDistanceGrowsWithDilation_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<int>("dilation");
        QTest::addColumn<bool>("linked");
        QTest::newRow("20 px at d 4") << 12 << 16 << 4 << true;
        QTest::newRow("20.5 px at d 4") << 14 << 15 << 4 << false;
        QTest::newRow("20.5 px at d 5") << 14 << 15 << 5 << true;
        QTest::newRow("5 px at d 1") << 3 << 4 << 1 << true;
        QTest::newRow("5.4 px at d 1") << 2 << 5 << 1 << false;
    }
    void linkDistanceGrowsWithDilation()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(int, dilation);
        QFETCH(bool, linked);
        std::vector<BoardQuad> quads = {squareQuad({100, 100}, 60),
                                        squareQuad(cv::Point(160 + dx, 160 + dy), 60)};
        linkQuads(quads, dilation);
        QCOMPARE(quads[0].neighbors[2], linked ? 1 : -1);
        QCOMPARE(quads[1].neighbors[0], linked ? 0 : -1);
        QCOMPARE(quads[0].neighborCount, linked ? 1 : 0);
        std::vector<cv::Point> contacts;
        collectContactPoints(quads, contacts);
        QCOMPARE(contacts.size(), size_t(linked ? 1 : 0));
        if (linked) // middle of the two centres, integer halves
            QCOMPARE(contacts[0], cv::Point((130 + (190 + dx)) / 2, (130 + (190 + dy)) / 2));
    }

    void onlyPairsOfAboutEqualSizeGiveContactPoints_data()
    {
        QTest::addColumn<int>("secondSide");
        QTest::addColumn<bool>("linked");
        QTest::addColumn<int>("contacts");
        QTest::newRow("equal") << 40 << true << 1;
        QTest::newRow("1.375 times") << 55 << true << 1;
        QTest::newRow("1.45 times: linked, no contact") << 58 << true << 0;
        QTest::newRow("2.1 times: not linked") << 84 << false << 0;
    }
    void onlyPairsOfAboutEqualSizeGiveContactPoints()
    {
        QFETCH(int, secondSide);
        QFETCH(bool, linked);
        QFETCH(int, contacts);
        std::vector<BoardQuad> quads = {squareQuad({100, 100}, 40), squareQuad({142, 142}, secondSide)};
        linkQuads(quads, 1);
        QCOMPARE(quads[0].neighborCount, linked ? 1 : 0);
        std::vector<cv::Point> points;
        collectContactPoints(quads, points);
        QCOMPARE(int(points.size()), contacts);
    }

    void chainsOfThreeGiveNoContactPoint()
    {
        std::vector<BoardQuad> quads = {squareQuad({100, 100}, 40), squareQuad({142, 142}, 40),
                                        squareQuad({184, 184}, 40), squareQuad({400, 100}, 40),
                                        squareQuad({442, 142}, 40)};
        linkQuads(quads, 1);
        std::vector<cv::Point> points;
        collectContactPoints(quads, points);
        QCOMPARE(quads[0].groupIndex, 0);
        QCOMPARE(quads[1].groupIndex, 0);
        QCOMPARE(quads[2].groupIndex, 0);
        QCOMPARE(quads[3].groupIndex, 1);
        QCOMPARE(points, std::vector<cv::Point>{cv::Point(441, 141)}); // only the separate pair
    }

    void peelingTakesNestedOutlinesOutermostFirst_data()
    {
        QTest::addColumn<int>("outlines");
        for (int n = 1; n <= 4; ++n)
            QTest::addRow("%d nested", n) << n;
    }
    void peelingTakesNestedOutlinesOutermostFirst()
    {
        QFETCH(int, outlines);
        std::vector<cv::Point> points;
        for (const cv::Point2d& p : nestedOutlines(outlines))
            points.emplace_back(p);
        const std::vector<DetectedRectangle> rectangles = peelRectangles(points);
        QCOMPARE(int(rectangles.size()), outlines);
        for (int k = 0; k < outlines; ++k)
            QCOMPARE(rectangles[k].corners()[0], cv::Point2f(float(260 + 100 * k), float(140 + 100 * k)));
    }

    // A point is taken with an outline when it lies less than 10 pixels from
    // one of the outline's edge lines (distance truncated to whole pixels).
    void removalBandIsTenPixels_data()
    {
        QTest::addColumn<cv::Point>("extra");
        QTest::addColumn<bool>("slanted");
        QTest::addColumn<bool>("removed");
        QTest::newRow("9 px inside the top edge") << cv::Point(500, 109) << false << true;
        QTest::newRow("10 px inside the top edge") << cv::Point(500, 110) << false << false;
        // Edge from (100, 100) to (400, 200).
        QTest::newRow("9.2 px inside a slanted edge") << cv::Point(200, 143) << true << true;
        QTest::newRow("10.1 px inside a slanted edge") << cv::Point(197, 143) << true << false;
    }
    void removalBandIsTenPixels()
    {
        QFETCH(cv::Point, extra);
        QFETCH(bool, slanted);
        QFETCH(bool, removed);
        std::vector<cv::Point> points =
            slanted ? std::vector<cv::Point>{{100, 100}, {400, 200}, {300, 500}, {0, 400}}
                    : std::vector<cv::Point>{{100, 100}, {900, 100}, {900, 500}, {100, 500}};
        // A small rectangle with one corner at the extra point: peeled second
        // unless that corner went with the outer outline.
        for (const cv::Point& d : {cv::Point(0, 0), cv::Point(-40, 0), cv::Point(-40, 40), cv::Point(0, 40)})
            points.push_back(extra + d);
        const std::vector<DetectedRectangle> rectangles = peelRectangles(points);
        QCOMPARE(rectangles.size(), size_t(removed ? 1 : 2));
    }

    // ---- whole pictures ----

    void boardIsFoundAtKnownPoses_data()
    {
        QTest::addColumn<cv::Size>("size");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("roll");
        QTest::addColumn<double>("yaw");
        QTest::addColumn<double>("pitch");
        QTest::addColumn<double>("blur");
        QTest::addColumn<int>("channels");
        const cv::Size hd(1920, 1080), vga(640, 480);
        QTest::newRow("HD far, a quarter of the height") << hd << 0.25 << 0.0 << 0.0 << 0.0 << 0.0 << 3;
        QTest::newRow("HD middle") << hd << 0.4 << 0.0 << 0.0 << 0.0 << 0.0 << 3;
        QTest::newRow("HD half the height, grey") << hd << 0.5 << 0.0 << 0.0 << 0.0 << 0.0 << 1;
        QTest::newRow("HD near") << hd << 0.8 << 0.0 << 0.0 << 0.0 << 0.0 << 3;
        QTest::newRow("HD roll +10") << hd << 0.45 << 10.0 << 0.0 << 0.0 << 0.0 << 3;
        QTest::newRow("HD roll -10, far") << hd << 0.3 << -10.0 << 0.0 << 0.0 << 0.0 << 3;
        QTest::newRow("HD turned 25 degrees") << hd << 0.45 << 0.0 << 25.0 << 0.0 << 0.0 << 3;
        QTest::newRow("HD tilted, rolled") << hd << 0.5 << 4.0 << -10.0 << 15.0 << 0.0 << 1;
        QTest::newRow("HD blurred") << hd << 0.4 << 2.0 << 0.0 << 0.0 << 1.2 << 3;
        QTest::newRow("HD with alpha") << hd << 0.4 << 0.0 << 0.0 << 0.0 << 0.0 << 4;
        QTest::newRow("VGA small") << vga << 0.42 << 0.0 << 0.0 << 0.0 << 0.0 << 3;
        QTest::newRow("VGA large, grey") << vga << 0.6 << 0.0 << 0.0 << 0.0 << 0.0 << 1;
        QTest::newRow("VGA roll -8, turned") << vga << 0.5 << -8.0 << 15.0 << 0.0 << 0.0 << 3;
        QTest::newRow("VGA blurred") << vga << 0.5 << 3.0 << 0.0 << 0.0 << 0.7 << 3;
    }
    void boardIsFoundAtKnownPoses()
    {
        QFETCH(cv::Size, size);
        QFETCH(double, height);
        QFETCH(double, roll);
        QFETCH(double, yaw);
        QFETCH(double, pitch);
        QFETCH(double, blur);
        QFETCH(int, channels);
        const CalibrationBoard board = CalibrationBoard::standard();
        BoardPose pose;
        pose.heightFraction = height;
        pose.roll = roll;
        pose.yaw = yaw;
        pose.pitch = pitch;
        SceneLook look;
        look.channels = channels == 4 ? 3 : channels;
        look.blurSigma = blur;
        look.noiseSigma = 2.0;
        cv::Mat picture = renderBoardScene(board, size, pose, look);
        if (channels == 4)
            cv::cvtColor(picture, picture, cv::COLOR_BGR2BGRA);

        std::vector<DetectedRectangle> rectangles;
        QVERIFY(findTesraBoard(picture, rectangles));
        QCOMPARE(rectangles.size(), size_t(3));
        const double error =
            largestCornerError(rectangles, expectedRectangles(board, boardToImage(board, size, pose)));
        QVERIFY2(error < 0.3, qPrintable(QStringLiteral("corner off by %1 px").arg(error)));
        // Outermost first.
        QVERIFY(rectangles[0].area() > rectangles[1].area());
        QVERIFY(rectangles[1].area() > rectangles[2].area());
        if (yaw == 0.0 && pitch == 0.0)
            QVERIFY(std::fabs(rectangles[0].angle() - roll) < 0.5);
    }

    void picturesWithoutOurBoardGiveNothing_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::newRow("no squares") << "empty";
        QTest::newRow("a chessboard") << "chessboard";
        QTest::newRow("inner rectangle covered") << "covered";
        QTest::newRow("cut by the picture's edge") << "cut";
        QTest::newRow("too far: squares under the size limit") << "far";
    }
    void picturesWithoutOurBoardGiveNothing()
    {
        QFETCH(QString, scene);
        const cv::Size size(1920, 1080);
        const CalibrationBoard board = CalibrationBoard::standard();
        SceneLook look;
        look.channels = 1;
        look.noiseSigma = 2.0;
        BoardPose pose;
        cv::Mat picture;
        if (scene == "empty") {
            picture = renderEmptyScene(size, look);
        } else if (scene == "chessboard") {
            picture = renderEmptyScene(size, look);
            cv::rectangle(picture, cv::Rect(500, 200, 960, 700), cv::Scalar(220), cv::FILLED);
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 10; ++column)
                    if ((row + column) % 2 == 0)
                        cv::rectangle(picture, cv::Rect(540 + column * 80, 240 + row * 80, 80, 80),
                                      cv::Scalar(35), cv::FILLED);
            std::vector<cv::Point2f> corners;
            QVERIFY(cv::findChessboardCorners(picture, cv::Size(9, 6), corners)); // it is a real chessboard
        } else if (scene == "covered") {
            pose.heightFraction = 0.45;
            picture = renderBoardScene(board, size, pose, look);
            const auto inner = expectedRectangles(board, boardToImage(board, size, pose))[2];
            cv::rectangle(picture, cv::Point(inner[0]) - cv::Point(40, 30),
                          cv::Point(inner[2]) + cv::Point(40, 30), cv::Scalar(220), cv::FILLED);
        } else if (scene == "cut") {
            pose.heightFraction = 0.45;
            pose.centre = cv::Point2d(0.08, 0.5);
            picture = renderBoardScene(board, size, pose, look);
        } else {
            pose.heightFraction = 0.15;
            picture = renderBoardScene(board, size, pose, look);
        }
        std::vector<DetectedRectangle> rectangles;
        QVERIFY(!findTesraBoard(picture, rectangles));
        QVERIFY(rectangles.size() != 3);
    }

    // Contact points drawn as pairs of squares on nested outlines.
    void exactlyThreeOutlinesMakeABoard_data()
    {
        QTest::addColumn<int>("outlines");
        QTest::addColumn<int>("dropped"); // contact points left out
        QTest::addColumn<bool>("found");
        QTest::newRow("three") << 3 << 0 << true;
        QTest::newRow("two") << 2 << 0 << false;
        QTest::newRow("four") << 4 << 0 << false;
    }
    void exactlyThreeOutlinesMakeABoard()
    {
        QFETCH(int, outlines);
        QFETCH(int, dropped);
        QFETCH(bool, found);
        cv::Mat picture = whitePicture(cv::Size(1920, 1080));
        std::vector<cv::Point2d> points = nestedOutlines(outlines);
        points.resize(points.size() - size_t(dropped));
        for (const cv::Point2d& p : points)
            drawPair(picture, p, 30.0);
        std::vector<DetectedRectangle> rectangles;
        QCOMPARE(findTesraBoard(picture, rectangles), found);
        if (outlines == 4)
            QCOMPARE(rectangles.size(), size_t(4)); // what the last attempt peeled
    }

    // The standard board has 22 contact points; covering pairs on the outer
    // edges leaves the outlines intact but lowers the count.
    void twentyContactPointsAreNeeded_data()
    {
        QTest::addColumn<int>("covered");
        QTest::addColumn<bool>("found");
        QTest::newRow("20 left") << 2 << true;
        QTest::newRow("19 left") << 3 << false;
    }
    void twentyContactPointsAreNeeded()
    {
        QFETCH(int, covered);
        QFETCH(bool, found);
        const cv::Size size(1920, 1080);
        const CalibrationBoard board = CalibrationBoard::standard();
        BoardPose pose;
        pose.heightFraction = 0.45;
        const cv::Matx33d toImage = boardToImage(board, size, pose);
        SceneLook look;
        look.channels = 1;
        cv::Mat picture = renderBoardScene(board, size, pose, look);

        // Pairs that are no rectangle corner, on the outer rectangle.
        const auto outer = board.rectangleCorners()[0];
        const std::vector<cv::Point2d> contacts = board.contactPoints();
        const auto squares = board.squares();
        int left = covered;
        for (size_t i = 0; i < contacts.size() && left > 0; ++i) {
            const cv::Point2d c = contacts[i];
            const bool onOuter = std::fabs(c.y - outer[0].y) < 1e-6 || std::fabs(c.y - outer[2].y) < 1e-6 ||
                                 std::fabs(c.x - outer[0].x) < 1e-6 || std::fabs(c.x - outer[1].x) < 1e-6;
            const bool corner = std::any_of(outer.begin(), outer.end(),
                                            [&](const cv::Point2d& k) { return cv::norm(k - c) < 1e-6; });
            if (!onOuter || corner)
                continue;
            for (size_t s = 2 * i; s < 2 * i + 2; ++s) {
                std::vector<cv::Point> polygon;
                for (const cv::Point2d& p : squares[s]) {
                    const cv::Vec3d h = toImage * cv::Vec3d(p.x, p.y, 1);
                    polygon.emplace_back(cvRound(h[0] / h[2]), cvRound(h[1] / h[2]));
                }
                cv::fillConvexPoly(picture, polygon, cv::Scalar(look.paper), cv::LINE_8);
                cv::polylines(picture, polygon, true, cv::Scalar(look.paper), 5);
            }
            --left;
        }
        QCOMPARE(left, 0);
        std::vector<DetectedRectangle> rectangles;
        QCOMPARE(findTesraBoard(picture, rectangles), found);
        if (!found)
            QVERIFY(rectangles.empty()); // no attempt had enough points to peel
    }

    // Both calibration threads run the detector at once.
    void detectorIsReentrant()
    {
        const CalibrationBoard board = CalibrationBoard::standard();
        std::vector<cv::Mat> pictures;
        for (double roll : {-6.0, 5.0}) {
            BoardPose pose;
            pose.heightFraction = 0.4;
            pose.roll = roll;
            SceneLook look;
            look.noiseSigma = 2.0;
            pictures.push_back(renderBoardScene(board, cv::Size(1280, 720), pose, look));
        }
        std::vector<std::vector<DetectedRectangle>> alone(2), together(2);
        for (int i = 0; i < 2; ++i)
            QVERIFY(findTesraBoard(pictures[i], alone[i]));
        bool ok[2] = {false, false};
        std::thread first([&] {
            for (int n = 0; n < 3; ++n)
                ok[0] = findTesraBoard(pictures[0], together[0]);
        });
        std::thread second([&] {
            for (int n = 0; n < 3; ++n)
                ok[1] = findTesraBoard(pictures[1], together[1]);
        });
        first.join();
        second.join();
        for (int i = 0; i < 2; ++i) {
            QVERIFY(ok[i]);
            QCOMPARE(together[i].size(), alone[i].size());
            for (size_t r = 0; r < alone[i].size(); ++r)
                QCOMPARE(together[i][r].corners(), alone[i][r].corners());
        }
    }

    void emptyPictureHasNoBoard()
    {
        std::vector<DetectedRectangle> rectangles(1);
        QVERIFY(!findTesraBoard(cv::Mat(), rectangles));
        QVERIFY(rectangles.empty());
        QCOMPARE(cvCheckChessboard(cv::Mat()), 0);
    }
};

QTEST_GUILESS_MAIN(TestBoardDetector)
#include "tst_boarddetector.moc"
