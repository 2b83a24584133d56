// The scene measurement against known misalignments: the virtual rig with
// and without the board in view, a rendered picture warped by known roll,
// size, shift and camera turns, and pictures that must give no reading.

#include "board/calibrationboard.h"
#include "rigscene.h"
#include "scene/scenealignment.h"
#include "scene/scenefit.h"

#include <QtTest>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(SceneFailure)
Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(cv::Vec3b)
Q_DECLARE_METATYPE(cv::Size)

namespace {

using virtualcards::CameraMisalignment;
using virtualcards::RigCamera;
using virtualcards::RigScene;
using virtualcards::RigSettings;

const cv::Size kFullHd(1920, 1080);
// The rig's horizontal field of view, for the turned cameras.
const double kFocal = 960.0 / std::tan(20.0 * CV_PI / 180.0);

struct Truth
{
    double vertical = 0, roll = 0, size = 0, toeIn = 0, tilt = 0;
};

struct Tolerance
{
    double vertical, roll, size, keystone;
};

// The accuracy on warped pictures, and 10 % of the truth (the
// absolute ones for a true zero) on the rig.
const Tolerance kWarped{0.3, 0.03, 0.1, 0.5};

double allowed(double truth, double absolute, bool relative)
{
    return relative && truth != 0.0 ? 0.1 * std::fabs(truth) : absolute;
}

void compare(double measured, double truth, double tolerance, const char* what)
{
    qInfo("%s: measured %.4f, true %.4f", what, measured, truth);
    if (std::fabs(measured - truth) > tolerance)
        QFAIL(qPrintable(QStringLiteral("%1: measured %2, true %3, tolerance %4")
                             .arg(what)
                             .arg(measured)
                             .arg(truth)
                             .arg(tolerance)));
}

void compareReading(const SceneMeasurement& m, const Truth& truth, const Tolerance& tolerance, bool relative)
{
    qInfo("evidence: %d/%d points, %d matches, %d inliers, %d cells, residual %.3f px", m.evidence.leftPoints,
          m.evidence.rightPoints, m.evidence.matches, m.evidence.inliers, m.evidence.coveredCells,
          m.evidence.residualPixels);
    if (!m.reading)
        QFAIL(qPrintable(m.reason));
    QVERIFY(m.reason.isEmpty());
    QCOMPARE(m.failure, SceneFailure::None);
    QCOMPARE(int(m.inliers.size()), m.evidence.inliers);
    compare(m.reading->verticalPixels, truth.vertical, allowed(truth.vertical, tolerance.vertical, relative),
            "vertical, px");
    compare(m.reading->rollDegrees, truth.roll, allowed(truth.roll, tolerance.roll, relative), "roll, deg");
    compare(m.reading->sizePercent, truth.size, allowed(truth.size, tolerance.size, relative), "size, %");
    compare(m.reading->toeInPixels, truth.toeIn, allowed(truth.toeIn, tolerance.keystone, relative),
            "toe-in keystone, px");
    compare(m.reading->tiltPixels, truth.tilt, allowed(truth.tilt, tolerance.keystone, relative),
            "tilt keystone, px");
}

// The picture as a camera zoomed, rolled (degrees, clockwise on screen) about
// the centre and shifted would see it, as the virtual rig moves a camera.
cv::Mat moved(const cv::Mat& picture, double zoom, double roll, cv::Point2d shift)
{
    const double cx = picture.cols / 2.0, cy = picture.rows / 2.0;
    const double c = std::cos(roll * CV_PI / 180.0) * zoom, s = std::sin(roll * CV_PI / 180.0) * zoom;
    const cv::Matx23d m(c, -s, cx + shift.x - c * cx + s * cy, s, c, cy + shift.y - s * cx - c * cy);
    cv::Mat result;
    cv::warpAffine(picture, result, m, picture.size(), cv::INTER_CUBIC, cv::BORDER_REFLECT);
    return result;
}

// The picture as the camera turned by yaw (degrees, positive: looking
// further left, as a right camera toed in) and pitch (positive: looking up)
// about its own centre would see it.
cv::Mat turned(const cv::Mat& picture, double yaw, double pitch)
{
    const double a = yaw * CV_PI / 180.0, b = pitch * CV_PI / 180.0;
    const cv::Matx33d k(kFocal, 0, picture.cols / 2.0, 0, kFocal, picture.rows / 2.0, 0, 0, 1);
    const cv::Matx33d aboutVertical(std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a));
    const cv::Matx33d aboutHorizontal(1, 0, 0, 0, std::cos(b), std::sin(b), 0, -std::sin(b), std::cos(b));
    cv::Mat result;
    cv::warpPerspective(picture, result, cv::Mat(k * aboutHorizontal * aboutVertical * k.inv()),
                        picture.size(), cv::INTER_CUBIC, cv::BORDER_REFLECT);
    return result;
}

// The textured set the rig renders, seen by its left camera: the photograph
// the warps start from.
const cv::Mat& setPicture()
{
    static const cv::Mat picture = RigScene(RigSettings()).render(RigCamera::Left, kFullHd, kFullHd);
    return picture;
}

// Coloured blobs of random sizes, a texture unrelated to the set.
cv::Mat blobs(cv::Size size, uint64_t seed)
{
    cv::RNG rng(seed);
    cv::Mat picture(size, CV_8UC3, cv::Scalar(90, 110, 120));
    for (int k = 0; k < size.area() / 300; ++k)
        cv::circle(picture, {rng.uniform(0, size.width), rng.uniform(0, size.height)}, rng.uniform(2, 25),
                   cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)), cv::FILLED);
    return picture;
}

// The board's card covered in both views by one flat patch, for the scene
// without the board: the card is centred and 40 % of the picture wide.
void coverBoard(cv::Mat& left, cv::Mat& right)
{
    const cv::Size2d card = CalibrationBoard::standard().size();
    const double width = 0.46 * left.cols, height = width * card.height / card.width * 1.1;
    const cv::Rect area(static_cast<int>((left.cols - width) / 2), static_cast<int>((left.rows - height) / 2),
                        static_cast<int>(width), static_cast<int>(height));
    left(area).setTo(cv::Scalar(120, 120, 120));
    right(area).setTo(cv::Scalar(120, 120, 120));
}

} // namespace

class TestSceneAlignment : public QObject
{
    Q_OBJECT

private slots:
    void virtualRig_data();
    void virtualRig();
    void warpedPicture_data();
    void warpedPicture();
    void noReading_data();
    void noReading();
    void movingObject_data();
    void movingObject();
    void fitRecoversModel_data();
    void fitRecoversModel();
    void overlayColours_data();
    void overlayColours();
};

void TestSceneAlignment::virtualRig_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<bool>("board");
    QTest::addColumn<bool>("sideBySide");

    // The built-in rig: the right camera 1 % zoomed, rolled 0.3 degree, 2 px down.
    QTest::newRow("built-in rig, board in view") << 1.01 << 0.3 << 2.0 << true << false;
    QTest::newRow("built-in rig, board covered") << 1.01 << 0.3 << 2.0 << false << false;
    QTest::newRow("the other way, board covered") << 0.99 << -0.3 << -2.0 << false << false;
    // Each view squeezed to half its width: the readings stay in full-size pixels.
    QTest::newRow("side-by-side signal") << 1.01 << 0.3 << 2.0 << true << true;
    QTest::newRow("aligned") << 1.0 << 0.0 << 0.0 << false << false;
}

void TestSceneAlignment::virtualRig()
{
    QFETCH(double, zoom);
    QFETCH(double, roll);
    QFETCH(double, vertical);
    QFETCH(bool, board);
    QFETCH(bool, sideBySide);

    RigSettings settings;
    settings.right = CameraMisalignment{zoom, roll, vertical, 0.0};
    const RigScene rig(settings);
    const cv::Size view = sideBySide ? cv::Size(kFullHd.width / 2, kFullHd.height) : kFullHd;
    cv::Mat left = rig.render(RigCamera::Left, kFullHd, view);
    cv::Mat right = rig.render(RigCamera::Right, kFullHd, view);
    if (!board)
        coverBoard(left, right);

    const SceneMeasurement m = measureScene(left, right, FullSizeScale{sideBySide ? 2.0 : 1.0, 1.0});
    compareReading(m, Truth{vertical, roll, 100.0 * (zoom - 1.0), 0, 0}, Tolerance{0.2, 0.03, 0.1, 0.5},
                   true);
}

void TestSceneAlignment::warpedPicture_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<double>("roll");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<double>("horizontal");
    QTest::addColumn<double>("yaw");
    QTest::addColumn<double>("pitch");

    QTest::newRow("roll 1 deg clockwise") << 1.0 << 1.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("roll 0.4 deg anticlockwise") << 1.0 << -0.4 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("3 % larger") << 1.03 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("2 % smaller") << 0.98 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("8 px down") << 1.0 << 0.0 << 8.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("3.5 px up") << 1.0 << 0.0 << -3.5 << 0.0 << 0.0 << 0.0;
    QTest::newRow("all three at their largest") << 1.03 << 1.0 << 8.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("all three, other signs") << 0.985 << -0.7 << -5.0 << 0.0 << 0.0 << 0.0;
    // Depth is a horizontal difference: a shift sideways must not change the readings.
    QTest::newRow("shifted sideways") << 1.0 << 0.0 << 2.0 << 25.0 << 0.0 << 0.0;
    QTest::newRow("toed in") << 1.0 << 0.0 << 0.0 << 0.0 << 0.5 << 0.0;
    QTest::newRow("toed out") << 1.0 << 0.0 << 0.0 << 0.0 << -0.5 << 0.0;
    QTest::newRow("tilted up") << 1.0 << 0.0 << 0.0 << 0.0 << 0.0 << 1.0;
}

void TestSceneAlignment::warpedPicture()
{
    QFETCH(double, zoom);
    QFETCH(double, roll);
    QFETCH(double, vertical);
    QFETCH(double, horizontal);
    QFETCH(double, yaw);
    QFETCH(double, pitch);

    const cv::Mat& left = setPicture();
    cv::Mat right = moved(left, zoom, roll, {horizontal, vertical});
    Truth truth{vertical, roll, 100.0 * (zoom - 1.0), 0, 0};
    if (yaw != 0.0 || pitch != 0.0) {
        right = turned(right, yaw, pitch);
        // First order in the angles: y grows by x * yaw / f at the corner
        // (960, 540); tilting moves the picture by f * pitch and bends it by
        // y^2 * pitch / f at the top and bottom edges.
        const double a = yaw * CV_PI / 180.0, b = pitch * CV_PI / 180.0;
        truth.toeIn = 960.0 * 540.0 * a / kFocal;
        truth.vertical = kFocal * std::tan(b);
        truth.tilt = 540.0 * 540.0 * b / kFocal;
        const SceneMeasurement m = measureScene(left, right);
        // Keystones are second-order effects: their sign and size within 25 %.
        compareReading(m, truth, Tolerance{0.02 * std::fabs(truth.vertical) + 0.3, 0.03, 0.1, 0.5}, false);
        if (truth.toeIn != 0.0)
            QVERIFY(std::fabs(m.reading->toeInPixels - truth.toeIn) < 0.25 * std::fabs(truth.toeIn));
        if (truth.tilt != 0.0)
            QVERIFY(std::fabs(m.reading->tiltPixels - truth.tilt) < 0.25 * std::fabs(truth.tilt));
        return;
    }
    compareReading(measureScene(left, right), truth, kWarped, false);
}

void TestSceneAlignment::noReading_data()
{
    QTest::addColumn<cv::Mat>("left");
    QTest::addColumn<cv::Mat>("right");
    QTest::addColumn<SceneFailure>("failure");

    const cv::Mat flat(kFullHd, CV_8UC3, cv::Scalar(90, 100, 110));
    QTest::newRow("flat colour") << flat << flat.clone() << SceneFailure::TooLittleTexture;
    QTest::newRow("no picture") << cv::Mat() << flat << SceneFailure::NoPictures;
    QTest::newRow("sizes differ") << flat << cv::Mat(720, 1280, CV_8UC3) << SceneFailure::NoPictures;

    cv::Mat corner = flat.clone();
    setPicture()(cv::Rect(0, 0, 480, 270)).copyTo(corner(cv::Rect(0, 0, 480, 270)));
    QTest::newRow("detail in one corner")
        << corner << moved(corner, 1.0, 0.2, {0, 2}) << SceneFailure::OneRegion;

    QTest::newRow("unrelated pictures") << setPicture() << blobs(kFullHd, 7) << SceneFailure::NoOverlap;
    // A camera mounted upside down whose picture is not turned: the same
    // scene, but not a misalignment a rig can have.
    cv::Mat upsideDown;
    cv::flip(setPicture(), upsideDown, -1);
    QTest::newRow("upside down") << setPicture() << upsideDown << SceneFailure::NoOverlap;

    // Wallpaper: one small tile of blobs over and over, so that every point
    // looks like its copies a tile away.
    cv::Mat wallpaper;
    cv::repeat(blobs(cv::Size(64, 64), 5), kFullHd.height / 64 + 1, kFullHd.width / 64 + 1, wallpaper);
    wallpaper = wallpaper(cv::Rect(cv::Point(), kFullHd)).clone();
    QTest::newRow("fine repetitive pattern")
        << wallpaper << moved(wallpaper, 1.0, 0.0, {0, 2}) << SceneFailure::RepetitivePattern;
}

void TestSceneAlignment::noReading()
{
    QFETCH(cv::Mat, left);
    QFETCH(cv::Mat, right);
    QFETCH(SceneFailure, failure);

    const SceneMeasurement m = measureScene(left, right);
    qInfo("%s", qPrintable(m.reason));
    QVERIFY2(!m.reading, "gave a reading");
    QCOMPARE(m.failure, failure);
    QVERIFY(m.reason.startsWith("No scene reading: "));
}

void TestSceneAlignment::movingObject_data()
{
    QTest::addColumn<cv::Size>("object");
    QTest::addColumn<bool>("readable");

    // An object that moved between the two exposures, 30 px down and 40 px
    // right, over a known misalignment: a quarter of the picture is outvoted;
    // over half of it could be taken for the rig, so it gives no reading.
    QTest::newRow("a quarter of the picture") << cv::Size(960, 540) << true;
    QTest::newRow("over half of the picture") << cv::Size(1400, 800) << false;
}

void TestSceneAlignment::movingObject()
{
    QFETCH(cv::Size, object);
    QFETCH(bool, readable);

    const cv::Mat texture = blobs(object, 3);
    cv::Mat left = setPicture().clone();
    cv::Mat right = moved(left, 1.01, 0.3, {0, 2});
    texture.copyTo(left(cv::Rect(cv::Point(470, 120), object)));
    texture.copyTo(right(cv::Rect(cv::Point(510, 150), object)));

    const SceneMeasurement m = measureScene(left, right);
    if (readable) {
        compareReading(m, Truth{2.0, 0.3, 1.0, 0, 0}, kWarped, false);
        return;
    }
    qInfo("%s", qPrintable(m.reason));
    QVERIFY(!m.reading);
    QCOMPARE(m.failure, SceneFailure::Disagreement);
}

void TestSceneAlignment::fitRecoversModel_data()
{
    QTest::addColumn<double>("outliers"); // share of the matches
    QTest::addColumn<double>("noise");    // vertical, px

    QTest::newRow("exact") << 0.0 << 0.0;
    QTest::newRow("noisy") << 0.0 << 0.5;
    QTest::newRow("a third mismatched") << 0.33 << 0.3;
    // Far more samples are needed to draw five inliers: the sample count must
    // not give up early.
    QTest::newRow("most mismatched") << 0.6 << 0.3;
}

void TestSceneAlignment::fitRecoversModel()
{
    QFETCH(double, outliers);
    QFETCH(double, noise);

    const cv::Size2d size(kFullHd);
    const VerticalModel truth{2.0, 5.0, -4.0, 1.5, -1.0};
    cv::RNG rng(11);
    std::vector<cv::Point2d> left, right;
    for (int k = 0; k < 500; ++k) {
        const cv::Point2d l(rng.uniform(0.0, size.width), rng.uniform(0.0, size.height));
        // Any parallax: it is horizontal.
        cv::Point2d r(l.x + rng.uniform(-60.0, 60.0), 0.0);
        r.y = l.y + truth.at(l, r, size) + rng.gaussian(noise);
        if (k < outliers * 500)
            r.y = l.y + rng.uniform(-100.0, 100.0);
        left.push_back(l);
        right.push_back(r);
    }
    const std::optional<VerticalFit> fit = fitVerticalModel(left, right, size, 3.0);
    QVERIFY(fit);
    QVERIFY(fit->inliers.size() >= size_t((1.0 - outliers) * 500 * 0.95));
    QCOMPARE(fit->residuals.size(), left.size());
    // Mismatches that happen to fall within the threshold pull a little.
    const double tolerance = 0.02 + noise * 0.2 + outliers * 0.2;
    QVERIFY(std::fabs(fit->model.offset - truth.offset) < tolerance);
    QVERIFY(std::fabs(fit->model.across - truth.across) < tolerance);
    QVERIFY(std::fabs(fit->model.down - truth.down) < tolerance);
    QVERIFY(std::fabs(fit->model.toeIn - truth.toeIn) < 2 * tolerance);
    QVERIFY(std::fabs(fit->model.tilt - truth.tilt) < 2 * tolerance);
}

void TestSceneAlignment::overlayColours_data()
{
    QTest::addColumn<double>("residual");
    QTest::addColumn<cv::Vec3b>("colour"); // BGR

    // The vertical band: green within 0.5 px, yellow within 1.5 px.
    QTest::newRow("within green") << 0.3 << cv::Vec3b(0, 200, 0);
    QTest::newRow("within yellow, below") << -1.0 << cv::Vec3b(0, 220, 255);
    QTest::newRow("beyond yellow") << 2.0 << cv::Vec3b(0, 0, 255);
}

void TestSceneAlignment::overlayColours()
{
    QFETCH(double, residual);
    QFETCH(cv::Vec3b, colour);

    SceneMeasurement m;
    m.inliers.push_back(SceneMatch{{100, 100}, {140, 100}, residual});
    cv::Mat image(200, 400, CV_8UC3, cv::Scalar::all(0));
    drawSceneMatches(image, m, ReadoutBand{-0.5, 0.5, -1.5, 1.5});
    // The dot at the left point, and the line on to the right point.
    QCOMPARE(image.at<cv::Vec3b>(100, 100), colour);
    QCOMPARE(image.at<cv::Vec3b>(100, 120), colour);
    QCOMPARE(image.at<cv::Vec3b>(50, 50), cv::Vec3b(0, 0, 0));
}

QTEST_APPLESS_MAIN(TestSceneAlignment)
#include "tst_scenealignment.moc"
