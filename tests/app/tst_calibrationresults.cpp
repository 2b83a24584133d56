// The calibration tab as the results of the two calibration threads reach
// it: pairing by time label, the processed views, the output image and the
// indicators' texts, sliders and colours.

#include "common/boardrectangles.h"
#include "common/mainwindowprobe.h"
#include "common/privatesettings.h"

#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>
#include <cmath>

Q_DECLARE_METATYPE(cv::Scalar)

namespace {

const char* const kIndicatorTexts[] = {"lbl_zoomTxt", "lbl_RotationTxt", "lbl_yOffsetTxt", "lbl_xOffsetTxt"};
const char* const kSliders[] = {"slider_ZoomRelation", "slider_Rotation", "slider_YOffset", "slider_XOffset"};

QRgb centrePixel(const QLabel* label)
{
    const QImage image = label->pixmap(Qt::ReturnByValue).toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}

bool hasPicture(const QLabel* label)
{
    return !label->pixmap(Qt::ReturnByValue).isNull();
}

// The background colour of a label, the same in every colour group.
QColor background(const QLabel* label)
{
    const QPalette palette = label->palette();
    const QColor colour = palette.color(QPalette::Active, QPalette::Window);
    for (QPalette::ColorGroup group : {QPalette::Inactive, QPalette::Disabled})
        if (palette.color(group, QPalette::Window) != colour)
            return QColor();
    return colour;
}

// Hands the window's pipeline a calibration result of one side, as a calibration thread does. The raw picture
// has the given colour, the processed one its inverse, so the views show which one they got.
class ResultSource
{
public:
    explicit ResultSource(MainWindow& window) : m_pairing(MainWindowProbe(window).pairing()) {}

    void deliver(bool left, uint32_t label, const DetectedRectangles& rectangles,
                 cv::Scalar colour = cv::Scalar(40, 80, 120), cv::Size size = cv::Size(64, 36))
    {
        VideoFrame raw;
        raw.image = cv::Mat(size, CV_8UC3, colour);
        raw.timecodeFormat = 1;
        raw.timecode = label;
        VideoFrame processed = raw;
        processed.image = cv::Mat(size, CV_8UC3, cv::Scalar::all(255) - colour);
        if (left)
            m_pairing.onNewLeftCalibrationResultsArrived(raw, processed, rectangles);
        else
            m_pairing.onNewRightCalibrationResultsArrived(raw, processed, rectangles);
    }

    // A left and then a right result of a new instant.
    void deliverPair(const DetectedRectangles& left, const DetectedRectangles& right)
    {
        ++m_label;
        deliver(true, m_label, left);
        deliver(false, m_label, right);
    }

private:
    CalibrationPairing& m_pairing;
    uint32_t m_label = 0; // labels from 1: a frame that never arrived reads 0
};

// The colours of the three states.
QColor stateColor(const QString& state)
{
    return state == "green" ? QColor(Qt::green) : state == "yellow" ? QColor(Qt::yellow) : QColor(Qt::red);
}

double degrees(double rise, double run)
{
    return std::atan2(rise, run) * 180.0 / M_PI;
}

} // namespace

class TestCalibrationResults : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QLoggingCategory::setFilterRules("default.debug=false");
    }

    void indicatorsAverageTheLastThreeUpdates_data()
    {
        QTest::addColumn<DetectedRectangles>("left");
        QTest::addColumn<DetectedRectangles>("right");
        QTest::addColumn<int>("indicator");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("colours");
        QTest::addColumn<QList<int>>("sliders");
        const QStringList greens{"green", "green", "green"};
        for (int i = 0; i < 4; ++i)
            QTest::addRow("identical detections: %s", kIndicatorTexts[i])
                << board() << board() << i << QStringList{"0", "0", "0"} << greens << QList<int>{0, 0, 0};
        // The same error each time: it shows at its full size from the first
        // result on, never a third of it in a better colour.
        QTest::newRow("left 3 px lower") << board(0, 3) << board() << 2 << QStringList{"12", "12", "12"}
                                         << QStringList{"red", "red", "red"} << QList<int>{10, 10, 10};
        QTest::newRow("left four times the area")
            << board(0, 0, 2) << board() << 0 << QStringList{"-3", "-3", "-3"}
            << QStringList{"red", "red", "red"} << QList<int>{-3, -3, -3};
        QTest::newRow("left 30 px to the right")
            << board(30) << board() << 3 << QStringList{"120", "120", "120"}
            << QStringList{"red", "red", "red"} << QList<int>{10, 10, 10};
        // Each top edge rises 3 px over its width: 480, 320 and 160 px.
        const double turn = (degrees(3, 480) + degrees(3, 320) + degrees(3, 160)) / 3;
        const QString turnText = QString::number(turn, 'g', 5);
        QTest::newRow("left turned") << board(0, 0, 1, 3) << board() << 1
                                     << QStringList{turnText, turnText, turnText}
                                     << QStringList{"red", "red", "red"} << QList<int>{0, 0, 0};
        const QString onePercent = QString::number(-0.0101, 'g', 2);
        QTest::newRow("area 1 % larger") << board(0, 0, std::sqrt(1.0101f)) << board() << 0
                                         << QStringList{onePercent, onePercent, onePercent}
                                         << QStringList{"yellow", "yellow", "yellow"} << QList<int>{0, 0, 0};
    }
    void indicatorsAverageTheLastThreeUpdates()
    {
        QFETCH(DetectedRectangles, left);
        QFETCH(DetectedRectangles, right);
        QFETCH(int, indicator);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, colours);
        QFETCH(QList<int>, sliders);
        MainWindow window;
        ResultSource source(window);
        auto* text = window.findChild<QLabel*>(kIndicatorTexts[indicator]);
        auto* slider = window.findChild<QSlider*>(kSliders[indicator]);
        QVERIFY(text->autoFillBackground());
        for (int n = 0; n < 3; ++n) {
            source.deliverPair(left, right);
            QCOMPARE(text->text(), texts[n]);
            QCOMPARE(background(text), stateColor(colours[n]));
            QCOMPARE(slider->value(), sliders[n]);
        }
    }

    void resultsWaitForTheOtherSideOfTheSameInstant()
    {
        MainWindow window;
        MainWindowProbe probe(window);
        ResultSource source(window);
        auto label = [&](const char* name) { return window.findChild<QLabel*>(name); };

        source.deliver(false, packTimeWord(1, 0, 0, 5), board(), cv::Scalar(0, 0, 250));
        source.deliver(true, packTimeWord(1, 0, 0, 10), board(0, 3), cv::Scalar(250, 0, 0));
        QVERIFY(!hasPicture(label("lbl_ImageProcessedLeft")));
        QVERIFY(!hasPicture(label("lbl_ImageProcessedRight")));
        QVERIFY(!hasPicture(label("lbl_ImageResult")));
        QCOMPARE(label("lbl_yOffsetTxt")->text(), QString());
        QCOMPARE(probe.indicatorWritePosition(), 0);

        // The right result of the left one's instant: both views and one update.
        source.deliver(false, packTimeWord(1, 0, 0, 10), board(), cv::Scalar(0, 250, 0));
        QCOMPARE(centrePixel(label("lbl_ImageProcessedLeft")), qRgb(255, 255, 5));  // inverse of blue
        QCOMPARE(centrePixel(label("lbl_ImageProcessedRight")), qRgb(255, 5, 255)); // inverse of green
        QCOMPARE(label("lbl_yOffsetTxt")->text(), QStringLiteral("12"));
        QCOMPARE(probe.indicatorWritePosition(), 1);
    }

    void outputImageCombinesTheRawPictures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<cv::Scalar>("left");
        QTest::addColumn<cv::Scalar>("right");
        QTest::addColumn<QRgb>("expected");
        // Colours in blue, green, red order; the expectation in red, green, blue.
        QTest::newRow("difference of identical pictures is black")
            << "rdb_CalibOutputDifference" << cv::Scalar(30, 60, 90) << cv::Scalar(30, 60, 90)
            << qRgb(0, 0, 0);
        QTest::newRow("difference stops at 0") << "rdb_CalibOutputDifference" << cv::Scalar(10, 200, 50)
                                               << cv::Scalar(20, 100, 50) << qRgb(0, 100, 0);
        QTest::newRow("sum is the mean")
            << "rdb_CalibOutputSum" << cv::Scalar(100, 0, 200) << cv::Scalar(0, 50, 100) << qRgb(150, 25, 50);
        QTest::newRow("anaglyph of two reds is red")
            << "rdb_CalibOutputAnaglyph" << cv::Scalar(0, 0, 255) << cv::Scalar(0, 0, 255) << qRgb(255, 0, 0);
        QTest::newRow("anaglyph: red from the left, green and blue from the right")
            << "rdb_CalibOutputAnaglyph" << cv::Scalar(7, 9, 200) << cv::Scalar(180, 120, 3)
            << qRgb(200, 120, 180);
    }
    void outputImageCombinesTheRawPictures()
    {
        QFETCH(QString, mode);
        QFETCH(cv::Scalar, left);
        QFETCH(cv::Scalar, right);
        QFETCH(QRgb, expected);
        MainWindow window;
        ResultSource source(window);
        window.findChild<QRadioButton*>(mode)->setChecked(true);
        source.deliver(true, 7, board(), left);
        source.deliver(false, 7, board(), right);
        QCOMPARE(centrePixel(window.findChild<QLabel*>("lbl_ImageResult")), expected);
    }

    // Pictures of different sizes can be neither combined nor compared: the
    // line under the indicators says why they read "UNDEFINED".
    void picturesOfDifferentSizesAreNotCompared()
    {
        MainWindow window;
        ResultSource source(window);
        auto* output = window.findChild<QLabel*>("lbl_ImageResult");
        auto* problem = window.findChild<QLabel*>("lbl_IndicatorsProblem");
        source.deliverPair(board(), board());
        QVERIFY(hasPicture(output));
        QCOMPARE(problem->text(), QString());
        source.deliver(true, 100, board(0, 3), cv::Scalar::all(9), cv::Size(64, 36));
        source.deliver(false, 100, board(), cv::Scalar::all(9), cv::Size(32, 18));
        QVERIFY(!hasPicture(output));
        QCOMPARE(window.findChild<QLabel*>("lbl_yOffsetTxt")->text(), QStringLiteral("UNDEFINED"));
        QCOMPARE(problem->text(),
                 QStringLiteral("The left and right pictures differ in size (64 × 36 px and "
                                "32 × 18 px): capture both cameras in the same display mode, "
                                "turned the same way."));
        // Comparable again: the line is cleared.
        source.deliverPair(board(), board());
        QCOMPARE(problem->text(), QString());
        QCOMPARE(window.findChild<QLabel*>("lbl_yOffsetTxt")->text(), QStringLiteral("0"));
    }

    // Detections that cannot be compared measure nothing: the indicators read
    // "UNDEFINED" on red, the sliders stay, and the history goes on as if the
    // update had not happened.
    void detectionsThatCannotBePairedReadUndefined_data()
    {
        QTest::addColumn<DetectedRectangles>("left");
        QTest::addColumn<DetectedRectangles>("right");
        QTest::addColumn<QString>("reason"); // the start of the line under the indicators
        DetectedRectangles two = board(0, 3);
        two.pop_back();
        const QString hint =
            " Hold the board square to the cameras, filling a third to three quarters of the "
            "picture height.";
        QTest::newRow("three against two")
            << board() << two
            << "The board was not found whole in both pictures (3 rectangles on the left, 2 "
               "on the right)." +
                   hint;
        QTest::newRow("two against three")
            << two << board()
            << "The board was not found whole in both pictures (2 rectangles on the left, 3 "
               "on the right)." +
                   hint;
        QTest::newRow("nothing on the left")
            << DetectedRectangles{} << board() << "Board not found in the left picture." + hint;
        QTest::newRow("nothing on the right")
            << board(0, 3) << DetectedRectangles{} << "Board not found in the right picture." + hint;
        QTest::newRow("nothing on either side")
            << DetectedRectangles{} << DetectedRectangles{} << "Board not found in either picture." + hint;
    }
    void detectionsThatCannotBePairedReadUndefined()
    {
        QFETCH(DetectedRectangles, left);
        QFETCH(DetectedRectangles, right);
        QFETCH(QString, reason);
        MainWindow window;
        MainWindowProbe probe(window);
        ResultSource source(window);
        auto text = [&](int i) { return window.findChild<QLabel*>(kIndicatorTexts[i]); };
        auto slider = [&](int i) { return window.findChild<QSlider*>(kSliders[i]); };

        // Zoom -3, rotation 0, y 12, x 120.
        source.deliverPair(board(30, 3, 2), board());
        QVector<int> positions;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(text(i)->text() != QStringLiteral("UNDEFINED"));
            positions << slider(i)->value();
        }
        QCOMPARE(positions, (QVector<int>{-3, 0, 10, 10}));

        source.deliverPair(left, right);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(text(i)->text(), QStringLiteral("UNDEFINED"));
            QCOMPARE(background(text(i)), QColor(Qt::red));
            QCOMPARE(slider(i)->value(), positions[i]);
        }
        QCOMPARE(window.findChild<QLabel*>("lbl_IndicatorsProblem")->text(), reason);
        QCOMPARE(probe.indicatorWritePosition(), 1);

        // The next comparable pair continues the history: 12 and 0 give 6.
        source.deliverPair(board(), board());
        QCOMPARE(text(2)->text(), QStringLiteral("6"));
        QCOMPARE(probe.indicatorWritePosition(), 2);
    }
};

QTEST_MAIN(TestCalibrationResults)
#include "tst_calibrationresults.moc"
