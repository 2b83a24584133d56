// The synthetic rig as the program sees it: the board detector finds the
// board in the left and the right view, the offsets it measures are the
// configured misalignment, and objects have disparities by their depth.

#include "board/calibrationboard.h"
#include "calibration/alignmentreadout.h"
#include "calibration/tesra_board_detector.h"
#include "disparity/disparitymapthread.h"
#include "virtualclient.h"

#include <QtTest>
#include <opencv2/imgproc.hpp>

namespace {

struct Views
{
    cv::Mat left, right; // BGR
};

// The two cards' pictures (raw, by hardware time) until both have one of the same instant.
class PairCollector
{
public:
    InputRecorder recorders[2];

    PairCollector()
    {
        for (int side = 0; side < 2; ++side)
            recorders[side].onFrame = [this, side](IDeckLinkVideoInputFrame* frame) {
                void* bytes = nullptr;
                frame->GetBytes(&bytes);
                BMDTimeValue time = 0, duration = 0;
                frame->GetHardwareReferenceTimestamp(25000, &time, &duration);
                const cv::Mat uyvy(static_cast<int>(frame->GetHeight()), static_cast<int>(frame->GetWidth()),
                                   CV_8UC2, bytes, static_cast<size_t>(frame->GetRowBytes()));
                std::lock_guard<std::mutex> lock(m_mutex);
                auto& pictures = m_pictures[side];
                pictures[time] = uyvy.clone();
                if (pictures.size() > 50) // a side running ahead keeps its recent frames
                    pictures.erase(pictures.begin());
            };
    }

    // The raw pictures of an instant both sides have, if any.
    bool common(cv::Mat& left, cv::Mat& right) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [time, picture] : m_pictures[0]) {
            const auto other = m_pictures[1].find(time);
            if (other != m_pictures[1].end()) {
                left = picture;
                right = other->second;
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::map<BMDTimeValue, cv::Mat> m_pictures[2];
};

// A UYVY picture converted by the driver, as BGR.
cv::Mat converted(const cv::Mat& uyvy)
{
    IDeckLinkVideoConversion* conversion = nullptr;
    DeckLinkCreateInstance(CLSID_CDeckLinkVideoConversion, IID_IDeckLinkVideoConversion,
                           reinterpret_cast<void**>(&conversion));
    InputFrameDouble source;
    source.pixels = uyvy;
    MutableFrameDouble bgra;
    bgra.format = bmdFormat8BitBGRA;
    bgra.pixels = cv::Mat(uyvy.rows, uyvy.cols, CV_8UC4);
    cv::Mat bgr;
    if (conversion && conversion->ConvertFrame(&source, &bgra) == S_OK)
        cv::cvtColor(bgra.pixels, bgr, cv::COLOR_BGRA2BGR);
    if (conversion)
        conversion->Release();
    return bgr;
}

// One picture from each of two cards, taken at the same instant.
bool capture(const std::string& leftName, const std::string& rightName, BMDDisplayMode mode, Views& views)
{
    CardFinder finder;
    if (!finder.waitForCards(2))
        return false;
    PairCollector collector;
    cv::Mat left, right;
    {
        InputHandle leftInput(finder.card(leftName)), rightInput(finder.card(rightName));
        if (leftInput.start(collector.recorders[0], mode) != S_OK ||
            rightInput.start(collector.recorders[1], mode) != S_OK ||
            !QTest::qWaitFor([&] { return collector.common(left, right); }, 30000))
            return false;
    }
    views = Views{converted(left), converted(right)};
    return !views.left.empty() && !views.right.empty();
}

struct Offsets
{
    double roll = 0, vertical = 0, horizontal = 0, zoom = 0;
};

// Right against left, from the sub-pixel corners of the paired rectangles.
Offsets measure(const std::vector<DetectedRectangle>& left, const std::vector<DetectedRectangle>& right)
{
    const auto direction = [](const DetectedRectangle& r) {
        const auto& c = r.corners();
        const cv::Point2f top = c[1] - c[0], bottom = c[2] - c[3];
        return (std::atan2(top.y, top.x) + std::atan2(bottom.y, bottom.x)) / 2.0 * 180.0 / CV_PI;
    };
    const auto mean = [](const DetectedRectangle& r) {
        cv::Point2f sum;
        for (const cv::Point2f& p : r.corners())
            sum += p;
        return sum / 4.0f;
    };
    Offsets offsets;
    for (size_t i = 0; i < left.size(); ++i) {
        offsets.roll += direction(right[i]) - direction(left[i]);
        offsets.vertical += mean(right[i]).y - mean(left[i]).y;
        offsets.horizontal += mean(right[i]).x - mean(left[i]).x;
        offsets.zoom += std::sqrt(right[i].area() / left[i].area());
    }
    const double n = static_cast<double>(left.size());
    return Offsets{offsets.roll / n, offsets.vertical / n, offsets.horizontal / n, offsets.zoom / n};
}

// Where a patch of the left view lies in the right view, along its row: x right minus x left.
double disparityOf(const Views& views, const cv::Rect& patch, int searchRange)
{
    cv::Mat left, right, score;
    cv::cvtColor(views.left, left, cv::COLOR_BGR2GRAY);
    cv::cvtColor(views.right, right, cv::COLOR_BGR2GRAY);
    const cv::Rect band =
        cv::Rect(patch.x - searchRange, patch.y, patch.width + 2 * searchRange, patch.height) &
        cv::Rect(0, 0, right.cols, right.rows);
    cv::matchTemplate(right(band), left(patch), score, cv::TM_CCOEFF_NORMED);
    cv::Point best;
    cv::minMaxLoc(score, nullptr, nullptr, nullptr, &best);
    return band.x + best.x - patch.x;
}

} // namespace

class TestVirtualRig : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        qunsetenv("DUOSCOPE_VIRTUAL_CARDS");
        QVERIFY(virtualcards::configure("cards: []"));
        QCOMPARE(virtualcards::liveObjects(), 0L);
    }

    void boardOffsetsAreTheMisalignment_data()
    {
        QTest::addColumn<QString>("rig"); // empty: the built-in cards
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("roll");
        QTest::addColumn<double>("vertical");
        QTest::addColumn<double>("horizontal");
        QTest::addColumn<double>("zoom");
        QTest::newRow("built-in cards, 1080p25") << "" << int(bmdModeHD1080p25) << 0.3 << 2.0 << 0.0 << 1.01;
        // Offsets are pixels of the signal's picture, here 1280 x 720.
        QTest::newRow("both cameras off, 720p50") << "{ left: { roll: -0.4, vertical: 1 }, right: { zoom: "
                                                     "0.98, roll: 0.5, vertical: -3.5, horizontal: 6 } }"
                                                  << int(bmdModeHD720p50) << 0.9 << -4.5 << 6.0 << 0.98;
    }
    void boardOffsetsAreTheMisalignment()
    {
        QFETCH(QString, rig);
        QFETCH(int, mode);
        QFETCH(double, roll);
        QFETCH(double, vertical);
        QFETCH(double, horizontal);
        QFETCH(double, zoom);
        std::string leftName = "Virtual Card 1 (Left)", rightName = "Virtual Card 2 (Right)";
        if (rig.isEmpty()) {
            QVERIFY(virtualcards::reload());
        } else {
            QVERIFY(virtualcards::configure(
                "rig: " + rig.toStdString() +
                "\ncards:\n"
                "  - { name: L, signal: hp50, genlock: g, source: { kind: rig, view: left } }\n"
                "  - { name: R, signal: hp50, genlock: g, source: { kind: rig, view: right } }\n"));
            leftName = "L", rightName = "R";
        }
        Views views;
        QVERIFY(capture(leftName, rightName, static_cast<BMDDisplayMode>(mode), views));
        std::vector<DetectedRectangle> left, right;
        QVERIFY(findTesraBoard(views.left, left));
        QVERIFY(findTesraBoard(views.right, right));
        QCOMPARE(left.size(), size_t(3));
        QCOMPARE(right.size(), size_t(3));
        const Offsets measured = measure(left, right);
        const QString report = QString("roll %1, vertical %2, horizontal %3, zoom %4")
                                   .arg(measured.roll)
                                   .arg(measured.vertical)
                                   .arg(measured.horizontal)
                                   .arg(measured.zoom, 0, 'f', 4);
        qInfo("%s", qPrintable(report));
        QVERIFY2(std::abs(measured.roll - roll) <= 0.05, qPrintable(report));
        QVERIFY2(std::abs(measured.vertical - vertical) <= 0.5, qPrintable(report));
        QVERIFY2(std::abs(measured.horizontal - horizontal) <= 0.5, qPrintable(report));
        QVERIFY2(std::abs(measured.zoom - zoom) <= 0.002, qPrintable(report));
    }

    void depthsGiveDisparities()
    {
        // Aligned cameras 30 mm apart meeting at the board, 40 degrees wide.
        QVERIFY(virtualcards::configure(R"yaml(
cards:
  - { name: L, genlock: g, source: { kind: rig, view: left } }
  - { name: R, genlock: g, source: { kind: rig, view: right } }
)yaml"));
        Views views;
        QVERIFY(capture("L", "R", bmdModeHD1080p25, views));
        const double widest =
            1920 / 2.0 / std::tan(20.0 * CV_PI / 180.0) * 0.030 / 0.4; // at half the board distance
        const double board = disparityOf(views, cv::Rect(900, 480, 120, 120), 80);
        const double wall = disparityOf(views, cv::Rect(860, 40, 200, 120), 80);      // behind the board
        const double nearBox = disparityOf(views, cv::Rect(1560, 900, 160, 120), 80); // in front of it
        const QString report = QString("board %1, wall %2, near box %3").arg(board).arg(wall).arg(nearBox);
        QVERIFY2(std::abs(board) <= 1.0, qPrintable(report));
        QVERIFY2(wall > 10.0 && wall < widest, qPrintable(report));
        QVERIFY2(nearBox < -10.0 && nearBox > -widest, qPrintable(report));
    }

    // The built-in rig's right camera is 1 % larger, turned 0.3 deg and 2 px
    // low. Taken out as the board reads it, the budget is the scene's: the
    // nearest box at 0.7 and the wall at 3.6 board distances, 30 mm apart,
    // converging at the board, 40 degrees wide.
    void budgetOfTheBuiltInRigIsItsScene()
    {
        QVERIFY(virtualcards::reload());
        Views views;
        QVERIFY(capture("Virtual Card 1 (Left)", "Virtual Card 2 (Right)", bmdModeHD1080p25, views));
        std::vector<DetectedRectangle> left, right;
        QVERIFY(findTesraBoard(views.left, left));
        QVERIFY(findTesraBoard(views.right, right));
        const std::optional<AlignmentReading> reading = measureAlignment(left, right, views.left.size());
        QVERIFY(reading);

        const double halfView = std::tan(20.0 * CV_PI / 180.0);
        const double board = CalibrationBoard::standard().size().width * 0.001 / (0.4 * 2.0 * halfView);
        const auto parallaxAt = [&](double distances) {
            return 100.0 * 0.030 / (2.0 * halfView * board) * (1.0 - 1.0 / distances);
        };
        const double nearest = parallaxAt(0.7), farthest = parallaxAt(3.6); // -1.365 %, +2.300 %

        qRegisterMetaType<VideoFrame>("VideoFrame");
        DisparityMapThread worker;
        QSignalSpy requested(&worker, &DisparityMapThread::newDisparityMapResults);
        QSignalSpy live(&worker, &DisparityMapThread::newLiveDisparityMapResults);
        worker.setRigCorrection(
            RigCorrection{true, reading->verticalPercent, reading->rollDegrees, reading->sizePercent});
        worker.start();
        VideoFrame l, r;
        l.image = views.left;
        r.image = views.right;
        // The tab's defaults: -64..64 px, block 11.
        worker.calculate(DisparitySettings());
        worker.onNewInputFramesArrived(l, r);
        QVERIFY(requested.wait(60000));
        worker.startLiveAnalysis(DisparitySettings());
        // The worker takes a pair only once it is done with the last one.
        QVERIFY(QTest::qWaitFor(
            [&] {
                worker.onNewInputFramesArrived(l, r);
                return !live.isEmpty() || live.wait(500);
            },
            60000));
        worker.stop();

        for (const DepthBudget& b : {requested.at(0).at(3).value<DisparityHistogramInfo>().budget,
                                     live.at(0).at(3).value<DisparityHistogramInfo>().budget}) {
            const QString report = QString("nearest %1 % (true %2 %), farthest %3 % (true %4 %), at %5 px")
                                       .arg(b.nearestPercent)
                                       .arg(nearest)
                                       .arg(b.farthestPercent)
                                       .arg(farthest)
                                       .arg(b.mapWidth);
            qInfo("%s", qPrintable(report));
            QVERIFY2(b.valid && !b.touchesSearchRange(), qPrintable(report));
            QVERIFY2(std::abs(b.nearestPercent - nearest) <= 0.1, qPrintable(report));
            QVERIFY2(std::abs(b.farthestPercent - farthest) <= 0.1, qPrintable(report));
        }
    }

    void sideBySideCarriesBothViews()
    {
        QVERIFY(virtualcards::reload()); // the built-in cards
        Views both;
        QVERIFY(capture("Virtual Card 1 (Left)", "Virtual Card 3 (Side by Side)", bmdModeHD1080p25, both));
        // Each half is its camera's view squeezed to half the width.
        const cv::Mat halves[] = {both.right.colRange(0, 960), both.right.colRange(960, 1920)};
        // Restored to the full width, as a viewer of a frame-compatible signal does.
        cv::Mat wide[2];
        cv::resize(halves[0], wide[0], cv::Size(1920, 1080));
        cv::resize(halves[1], wide[1], cv::Size(1920, 1080));
        std::vector<DetectedRectangle> left, right;
        QVERIFY(findTesraBoard(wide[0], left));
        QVERIFY(findTesraBoard(wide[1], right));
        const Offsets measured = measure(left, right);
        const QString report = QString("roll %1, vertical %2").arg(measured.roll).arg(measured.vertical);
        QVERIFY2(std::abs(measured.roll - 0.3) <= 0.05, qPrintable(report));
        QVERIFY2(std::abs(measured.vertical - 2.0) <= 0.5, qPrintable(report));
        cv::Mat squeezed, difference;
        cv::resize(both.left, squeezed, cv::Size(960, 1080), 0, 0, cv::INTER_AREA);
        cv::absdiff(squeezed, halves[0], difference);
        const double meanDifference = cv::mean(difference.reshape(1))[0];
        QVERIFY2(meanDifference < 12.0, qPrintable(QString::number(meanDifference)));
    }
};

QTEST_GUILESS_MAIN(TestVirtualRig)
#include "tst_virtualrig.moc"
