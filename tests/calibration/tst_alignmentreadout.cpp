// The alignment readout against the virtual rig's known misalignment, and the
// orientation check with each wrong rotate/flip setting and the right one.

#include "calibration/alignmentreadout.h"
#include "calibration/orientationcheck.h"
#include "calibration/tesra_board_detector.h"
#include "preprocessing/imgpreprocessingthread.h"
#include "rigscene.h"

#include <QtTest>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(PictureOrientation)
Q_DECLARE_METATYPE(IndicatorState)
Q_DECLARE_METATYPE(cv::Point2f)
Q_DECLARE_METATYPE(FrameTransform)

namespace {

using virtualcards::CameraMisalignment;
using virtualcards::RigCamera;
using virtualcards::RigScene;
using virtualcards::RigSettings;

const cv::Size kFullHd(1920, 1080);

RigSettings rigWithRight(const CameraMisalignment& right)
{
    RigSettings rig;
    rig.right = right;
    return rig;
}

// The readings must come within 10 % of the truth; a true zero within the
// given number of units.
void compareReading(double measured, double truth, double zeroTolerance, const char* what)
{
    const double tolerance = truth == 0.0 ? zeroTolerance : 0.1 * std::fabs(truth);
    qInfo("%s: measured %.4f, true %.4f", what, measured, truth);
    if (std::fabs(measured - truth) > tolerance)
        QFAIL(qPrintable(QStringLiteral("%1: measured %2, true %3, tolerance %4")
                             .arg(what)
                             .arg(measured)
                             .arg(truth)
                             .arg(tolerance)));
}

DetectedRectangle rectangleFrom(const std::vector<cv::Point2f>& corners)
{
    DetectedRectangle rectangle;
    if (!rectangle.setCorners(corners))
        qFatal("not a rectangle");
    return rectangle;
}

// A board-like set of nested rectangles around centre.
DetectedRectangles nestedRectangles(cv::Point2f centre, float halfWidth, float halfHeight)
{
    DetectedRectangles rectangles;
    for (float f : {1.0f, 0.66f, 0.33f}) {
        const float w = halfWidth * f, h = halfHeight * f;
        rectangles.push_back(rectangleFrom({centre + cv::Point2f(-w, -h), centre + cv::Point2f(w, -h),
                                            centre + cv::Point2f(w, h), centre + cv::Point2f(-w, h)}));
    }
    return rectangles;
}

// The rectangles as a camera zoomed by `zoom`, rolled by `roll` degrees
// (clockwise on screen) about the picture centre and shifted would see them.
DetectedRectangles moved(const DetectedRectangles& rectangles, cv::Point2f centre, double zoom, double roll,
                         cv::Point2f shift)
{
    const double c = std::cos(roll * CV_PI / 180.0) * zoom, s = std::sin(roll * CV_PI / 180.0) * zoom;
    DetectedRectangles result;
    for (const DetectedRectangle& rectangle : rectangles) {
        std::vector<cv::Point2f> corners;
        for (const cv::Point2f& p : rectangle.corners()) {
            const cv::Point2f d = p - centre;
            corners.emplace_back(float(c * d.x - s * d.y) + centre.x + shift.x,
                                 float(s * d.x + c * d.y) + centre.y + shift.y);
        }
        result.push_back(rectangleFrom(corners));
    }
    return result;
}

} // namespace

class TestAlignmentReadout : public QObject
{
    Q_OBJECT

private slots:
    void exactCorners_data();
    void exactCorners();
    void unmeasurable();
    void virtualRig_data();
    void virtualRig();
    void historyAveragesFilledSlots();
    void actions_data();
    void actions();
    void bandsMatchIndicators_data();
    void bandsMatchIndicators();
    void orientation_data();
    void orientation();
    void orientationWithoutStructure_data();
    void orientationWithoutStructure();
};

void TestAlignmentReadout::exactCorners_data()
{
    QTest::addColumn<cv::Size>("picture");
    QTest::addColumn<double>("scaleX");
    QTest::addColumn<double>("scaleY");
    QTest::addColumn<cv::Point2f>("boardCentre");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("roll");
    QTest::addColumn<cv::Point2f>("shift"); // processed pixels

    // A board away from the centre: a zoom about the centre moves it, which
    // must not read as an offset.
    QTest::newRow("aligned") << kFullHd << 1.0 << 1.0 << cv::Point2f(960, 540) << 1.0 << 0.0 << cv::Point2f();
    QTest::newRow("zoom, board off centre")
        << kFullHd << 1.0 << 1.0 << cv::Point2f(600, 300) << 1.02 << 0.0 << cv::Point2f();
    QTest::newRow("roll anticlockwise, board off centre")
        << kFullHd << 1.0 << 1.0 << cv::Point2f(1300, 700) << 1.0 << -0.4 << cv::Point2f();
    QTest::newRow("everything") << kFullHd << 1.0 << 1.0 << cv::Point2f(900, 500) << 0.985 << 0.7
                                << cv::Point2f(-3.5f, 2.25f);
    QTest::newRow("side by side view") << cv::Size(960, 1080) << 2.0 << 1.0 << cv::Point2f(480, 540) << 1.0
                                       << 0.0 << cv::Point2f(1.5f, -2.0f);
    QTest::newRow("under/over view") << cv::Size(1920, 540) << 1.0 << 2.0 << cv::Point2f(960, 270) << 1.0
                                     << 0.0 << cv::Point2f(-1.0f, 1.0f);
}

void TestAlignmentReadout::exactCorners()
{
    QFETCH(cv::Size, picture);
    QFETCH(double, scaleX);
    QFETCH(double, scaleY);
    QFETCH(cv::Point2f, boardCentre);
    QFETCH(double, zoom);
    QFETCH(double, roll);
    QFETCH(cv::Point2f, shift);

    const cv::Point2f pictureCentre(picture.width / 2.0f, picture.height / 2.0f);
    // Exact corners are only exact in full-size pixels: the squeezed view is
    // made from a full-size board, moved there, then squeezed.
    const cv::Point2f fullCentre(float(pictureCentre.x * scaleX), float(pictureCentre.y * scaleY));
    const cv::Point2f fullBoard(float(boardCentre.x * scaleX), float(boardCentre.y * scaleY));
    const cv::Point2f fullShift(float(shift.x * scaleX), float(shift.y * scaleY));
    auto squeeze = [&](const DetectedRectangles& rectangles) {
        DetectedRectangles result;
        for (const DetectedRectangle& r : rectangles) {
            std::vector<cv::Point2f> corners;
            for (const cv::Point2f& p : r.corners())
                corners.emplace_back(float(p.x / scaleX), float(p.y / scaleY));
            result.push_back(rectangleFrom(corners));
        }
        return result;
    };
    const DetectedRectangles left = nestedRectangles(fullBoard, 300, 200);
    const DetectedRectangles right = moved(left, fullCentre, zoom, roll, fullShift);

    const std::optional<AlignmentReading> reading =
        measureAlignment(squeeze(left), squeeze(right), picture, FullSizeScale{scaleX, scaleY});
    QVERIFY(reading);
    QVERIFY(std::fabs(reading->rollDegrees - roll) < 1e-3);
    QVERIFY(std::fabs(reading->sizePercent - 100.0 * (zoom - 1.0)) < 1e-3);
    QVERIFY(std::fabs(reading->verticalPixels - fullShift.y) < 1e-2);
    QVERIFY(std::fabs(reading->horizontalPixels - fullShift.x) < 1e-2);
    QVERIFY(std::fabs(reading->verticalPercent - 100.0 * fullShift.y / (picture.height * scaleY)) < 1e-3);
    QVERIFY(std::fabs(reading->horizontalPercent - 100.0 * fullShift.x / (picture.width * scaleX)) < 1e-3);
}

void TestAlignmentReadout::unmeasurable()
{
    const DetectedRectangles three = nestedRectangles({960, 540}, 300, 200);
    const DetectedRectangles two(three.begin(), three.begin() + 2);
    QVERIFY(!measureAlignment({}, three, kFullHd));
    QVERIFY(!measureAlignment(three, {}, kFullHd));
    QVERIFY(!measureAlignment(three, two, kFullHd));
    QVERIFY(!measureAlignment(three, three, cv::Size()));
    // Rectangles without corners cannot be fitted.
    QVERIFY(!measureAlignment(DetectedRectangles(3), DetectedRectangles(3), kFullHd));
    QVERIFY(measureAlignment(three, three, kFullHd));
}

void TestAlignmentReadout::virtualRig_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<double>("horizontal");

    // The built-in rig: the right camera 1 % zoomed, rolled 0.3 degree, 2 px down.
    QTest::newRow("built-in rig") << 1.01 << 0.3 << 2.0 << 0.0;
    QTest::newRow("the other way") << 0.99 << -0.3 << -2.0 << 0.0;
    QTest::newRow("larger errors") << 1.03 << 1.0 << 6.0 << -8.0;
    QTest::newRow("aligned") << 1.0 << 0.0 << 0.0 << 0.0;
}

void TestAlignmentReadout::virtualRig()
{
    QFETCH(double, zoom);
    QFETCH(double, roll);
    QFETCH(double, vertical);
    QFETCH(double, horizontal);

    const RigScene rig(rigWithRight({zoom, roll, vertical, horizontal}));
    const cv::Mat left = rig.render(RigCamera::Left, kFullHd, kFullHd);
    const cv::Mat right = rig.render(RigCamera::Right, kFullHd, kFullHd);
    DetectedRectangles leftRectangles;
    DetectedRectangles rightRectangles;
    QVERIFY(findTesraBoard(left, leftRectangles));
    QVERIFY(findTesraBoard(right, rightRectangles));

    const std::optional<AlignmentReading> reading =
        measureAlignment(leftRectangles, rightRectangles, kFullHd);
    QVERIFY(reading);
    compareReading(reading->rollDegrees, roll, 0.03, "roll, degrees");
    compareReading(reading->verticalPixels, vertical, 0.2, "vertical offset, px");
    compareReading(reading->sizePercent, 100.0 * (zoom - 1.0), 0.1, "size difference, %");
    compareReading(reading->horizontalPixels, horizontal, 0.4, "horizontal offset, px");
    compareReading(reading->verticalPercent, 100.0 * vertical / kFullHd.height, 0.02, "vertical offset, %");
}

void TestAlignmentReadout::historyAveragesFilledSlots()
{
    AlignmentHistory history;
    auto reading = [](double vertical) {
        AlignmentReading r;
        r.verticalPixels = vertical;
        r.rollDegrees = vertical / 10;
        return r;
    };
    QCOMPARE(history.add(reading(3)).verticalPixels, 3.0);
    QCOMPARE(history.add(reading(6)).verticalPixels, 4.5);
    QCOMPARE(history.add(reading(9)).rollDegrees, 0.6);
    // The fourth replaces the first.
    QCOMPARE(history.add(reading(12)).verticalPixels, 9.0);
    history.clear();
    QCOMPARE(history.count(), 0);
    QCOMPARE(history.add(reading(-2)).verticalPixels, -2.0);
}

void TestAlignmentReadout::actions_data()
{
    QTest::addColumn<double>("vertical");
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("size");
    QTest::addColumn<double>("horizontal");
    QTest::addColumn<IndicatorState>("state");
    QTest::addColumn<QStringList>("expected"); // vertical, roll, size, horizontal actions

    QTest::newRow("built-in rig") << 2.0 << 0.3 << 1.0 << -3.0 << IndicatorState::Red
                                  << QStringList{"Right camera: tilt down 2.0 px",
                                                 "Right camera: roll 0.30 deg clockwise",
                                                 "Right camera: zoom out 1.00 % (or check focus)",
                                                 "Right camera: pan left 3.0 px"};
    QTest::newRow("the other way") << -1.25 << -0.28 << -0.5 << 4.0 << IndicatorState::Yellow
                                   << QStringList{"Right camera: tilt up 1.3 px",
                                                  "Right camera: roll 0.28 deg anticlockwise",
                                                  "Right camera: zoom in 0.50 % (or check focus)",
                                                  "Right camera: pan right 4.0 px"};
    QTest::newRow("green") << 0.3 << 0.1 << 0.2 << 1.0 << IndicatorState::Green
                           << QStringList{"Right camera: height OK, leave it",
                                          "Right camera: roll OK, leave it",
                                          "Right camera: size OK, leave it",
                                          "Right camera: convergence OK, leave it"};
}

void TestAlignmentReadout::actions()
{
    QFETCH(double, vertical);
    QFETCH(double, roll);
    QFETCH(double, size);
    QFETCH(double, horizontal);
    QFETCH(IndicatorState, state);
    QFETCH(QStringList, expected);

    AlignmentReading reading;
    reading.verticalPixels = vertical;
    reading.rollDegrees = roll;
    reading.sizePercent = size;
    reading.horizontalPixels = horizontal;
    const AlignmentStates states{state, state, state, state};
    const ReadoutTexts texts = readoutTexts(reading, states);
    QCOMPARE((QStringList{texts.verticalAction, texts.rollAction, texts.sizeAction, texts.horizontalAction}),
             expected);
}

void TestAlignmentReadout::bandsMatchIndicators_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<double>("horizontal");

    QTest::newRow("aligned") << 1.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("built-in rig") << 1.01 << 0.3 << 2.0 << 0.0;
    QTest::newRow("small") << 1.004 << 0.1 << 0.3 << 0.3;
    QTest::newRow("large") << 0.97 << -0.8 << -6.0 << 40.0;
}

// A reading inside a band of the trend has the state its indicator shows for
// the same misalignment, so the shading tells the truth.
void TestAlignmentReadout::bandsMatchIndicators()
{
    QFETCH(double, zoom);
    QFETCH(double, roll);
    QFETCH(double, vertical);
    QFETCH(double, horizontal);

    const cv::Point2f centre(960, 540);
    const DetectedRectangles left = nestedRectangles(centre, 300, 200);
    const DetectedRectangles right =
        moved(left, centre, zoom, roll, cv::Point2f(float(horizontal), float(vertical)));
    const std::optional<CalibrationMeasurement> measurement = measureCalibration(left, right);
    const std::optional<AlignmentReading> reading = measureAlignment(left, right, kFullHd);
    QVERIFY(measurement && reading);
    IndicatorHistory indicators;
    CalibrationAverages averages;
    for (int i = 0; i < 3; ++i)
        averages = indicators.add(*measurement);
    const AlignmentStates states = alignmentStates(averages);

    const ReadoutBands bands = readoutBands({});
    auto bandState = [](double value, const ReadoutBand& band) {
        if (value >= band.greenLow && value <= band.greenHigh)
            return IndicatorState::Green;
        if (value >= band.yellowLow && value <= band.yellowHigh)
            return IndicatorState::Yellow;
        return IndicatorState::Red;
    };
    QCOMPARE(bandState(reading->sizePercent, bands.size), states.size);
    QCOMPARE(bandState(reading->rollDegrees, bands.roll), states.roll);
    QCOMPARE(bandState(reading->verticalPixels, bands.vertical), states.vertical);
    QCOMPARE(bandState(reading->horizontalPixels, bands.horizontal), states.horizontal);
}

void TestAlignmentReadout::orientation_data()
{
    QTest::addColumn<bool>("mirrorRig"); // the right camera films through the mirror
    QTest::addColumn<FrameTransform>("left");
    QTest::addColumn<FrameTransform>("right");
    QTest::addColumn<PictureOrientation>("expected");

    FrameTransform none;
    FrameTransform flipH;
    flipH.flipHorizontal = true;
    FrameTransform flipV;
    flipV.flipVertical = true;
    FrameTransform turn;
    turn.rotate180 = true;
    FrameTransform bothFlips;
    bothFlips.flipHorizontal = bothFlips.flipVertical = true;

    QTest::newRow("right settings") << false << none << none << PictureOrientation::AsIs;
    QTest::newRow("right: flip horizontal by mistake")
        << false << none << flipH << PictureOrientation::MirroredLeftRight;
    QTest::newRow("right: flip vertical by mistake")
        << false << none << flipV << PictureOrientation::MirroredTopBottom;
    QTest::newRow("right: rotate 180 by mistake") << false << none << turn << PictureOrientation::Turned180;
    QTest::newRow("right: both flips by mistake")
        << false << none << bothFlips << PictureOrientation::Turned180;
    QTest::newRow("left: flip horizontal by mistake")
        << false << flipH << none << PictureOrientation::MirroredLeftRight;
    QTest::newRow("mirror rig, not flipped") << true << none << none << PictureOrientation::MirroredLeftRight;
    QTest::newRow("mirror rig, flipped") << true << none << flipH << PictureOrientation::AsIs;
}

void TestAlignmentReadout::orientation()
{
    QFETCH(bool, mirrorRig);
    QFETCH(FrameTransform, left);
    QFETCH(FrameTransform, right);
    QFETCH(PictureOrientation, expected);

    static const RigScene rig(rigWithRight({1.01, 0.3, 2.0, 0.0}));
    cv::Mat leftPicture = rig.render(RigCamera::Left, kFullHd, kFullHd);
    cv::Mat rightPicture = rig.render(RigCamera::Right, kFullHd, kFullHd);
    if (mirrorRig)
        cv::flip(rightPicture, rightPicture, 1);
    QVERIFY(applyTransform(leftPicture, left));
    QVERIFY(applyTransform(rightPicture, right));

    const OrientationCheck check = checkOrientation(leftPicture, rightPicture);
    const QString scores = QStringLiteral("scores %1 %2 %3 %4")
                               .arg(check.scores[0])
                               .arg(check.scores[1])
                               .arg(check.scores[2])
                               .arg(check.scores[3]);
    qInfo("%s", qPrintable(scores));
    QVERIFY2(check.verdict == expected, qPrintable(scores));
}

void TestAlignmentReadout::orientationWithoutStructure_data()
{
    QTest::addColumn<cv::Mat>("left");
    QTest::addColumn<cv::Mat>("right");

    const cv::Mat grey(kFullHd, CV_8UC3, cv::Scalar(90, 90, 90));
    cv::Mat gradient(kFullHd, CV_8UC3);
    for (int y = 0; y < gradient.rows; ++y)
        gradient.row(y).setTo(cv::Scalar::all(y * 200 / gradient.rows));
    QTest::newRow("grey wall") << grey << grey.clone();
    QTest::newRow("no pictures") << cv::Mat() << cv::Mat();
    QTest::newRow("one side black") << gradient << cv::Mat(kFullHd, CV_8UC3, cv::Scalar::all(0));
}

// Nothing to compare: no warning.
void TestAlignmentReadout::orientationWithoutStructure()
{
    QFETCH(cv::Mat, left);
    QFETCH(cv::Mat, right);
    QCOMPARE(checkOrientation(left, right).verdict, PictureOrientation::AsIs);
}

QTEST_MAIN(TestAlignmentReadout)
#include "tst_alignmentreadout.moc"
