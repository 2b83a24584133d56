// The alignment readout of the calibration tab as a crew uses it: the rows
// follow the paired results, the trend keeps a minute, the take log writes a
// flushed line per result and stops with a message when it cannot, and the
// orientation warning names the checkbox to change.

#include "app/alignmentlog.h"
#include "app/mainwindow.h"
#include "app/orientationadvice.h"
#include "common/boardrectangles.h"
#include "common/mainwindowprobe.h"
#include "common/privatesettings.h"
#include "plots/alignmenttrendplot.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <opencv2/imgproc.hpp>
#include <qwt_plot.h>
#include <qwt_plot_zoneitem.h>
#include <sys/resource.h>

Q_DECLARE_METATYPE(PictureOrientation)
Q_DECLARE_METATYPE(FrameTransform)

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A picture with structure that no flip maps onto itself.
cv::Mat scene(cv::Size size)
{
    cv::Mat picture(size, CV_8UC3, cv::Scalar(60, 60, 60));
    cv::RNG rng(7);
    for (int i = 0; i < 40; ++i) {
        const cv::Point a(rng.uniform(0, size.width), rng.uniform(0, size.height));
        const cv::Point b = a + cv::Point(rng.uniform(5, size.width / 4), rng.uniform(5, size.height / 4));
        cv::rectangle(picture, a, b, cv::Scalar::all(rng.uniform(0, 255)), cv::FILLED);
    }
    return picture;
}

// While it lives, no file of the process can grow beyond `bytes`, as on a
// full disk: writes past it fail (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

class PairSource
{
public:
    explicit PairSource(MainWindow& window) : m_pairing(MainWindowProbe(window).pairing()) {}

    void deliver(const DetectedRectangles& left, const DetectedRectangles& right, const cv::Mat& leftPicture,
                 const cv::Mat& rightPicture)
    {
        ++m_label;
        VideoFrame l;
        l.image = leftPicture;
        l.timecodeFormat = 1;
        l.timecode = m_label;
        VideoFrame r = l;
        r.image = rightPicture;
        m_pairing.onNewLeftCalibrationResultsArrived(l, l, left);
        m_pairing.onNewRightCalibrationResultsArrived(r, r, right);
    }

    void deliver(const DetectedRectangles& left, const DetectedRectangles& right)
    {
        const cv::Mat picture(720, 1280, CV_8UC3, cv::Scalar(90, 90, 90));
        deliver(left, right, picture, picture);
    }

    uint32_t label() const { return m_label; }

private:
    CalibrationPairing& m_pairing;
    uint32_t m_label = 0x00000001; // 001:00:00:00 and on
};

} // namespace

class TestAlignment : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

    template <typename T> static T* find(MainWindow& window, const char* name)
    {
        return window.findChild<T*>(QString::fromLatin1(name));
    }

private slots:
    void logLines_data();
    void logLines();
    void logNeverOverwrites();
    void logWriteFailureStops();
    void advice_data();
    void advice();
    void trendKeepsAMinute();
    void windowReadout();
    void windowRecords();
    void windowRecordWithoutDirectory();
    void windowOrientationWarning();
};

void TestAlignment::logLines_data()
{
    QTest::addColumn<bool>("measured");
    QTest::addColumn<bool>("boardLeft");
    QTest::addColumn<bool>("boardRight");
    QTest::addColumn<QString>("expected");

    QTest::newRow("measured") << true << true << true
                              << "001:02:03:04,yes,yes,0.015,yellow,-0.28,yellow,-7,red,0,green,2,0.185185,0."
                                 "3,1.01,-0.5,-0.0260417";
    QTest::newRow("no board on the right")
        << false << true << false << "001:02:03:04,yes,no,,undefined,,undefined,,undefined,,undefined,,,,,,";
    QTest::newRow("boards that cannot be paired")
        << false << true << true << "001:02:03:04,yes,yes,,undefined,,undefined,,undefined,,undefined,,,,,,";
}

void TestAlignment::logLines()
{
    QFETCH(bool, measured);
    QFETCH(bool, boardLeft);
    QFETCH(bool, boardRight);
    QFETCH(QString, expected);

    AlignmentLogEntry entry;
    entry.timeLabel = 0x04030201;
    entry.boardLeft = boardLeft;
    entry.boardRight = boardRight;
    if (measured) {
        entry.indicators = CalibrationAverages{0.015, -0.28, -7, 0};
        AlignmentReading reading;
        reading.verticalPixels = 2;
        reading.verticalPercent = 100.0 * 2 / 1080;
        reading.rollDegrees = 0.3;
        reading.sizePercent = 1.01;
        reading.horizontalPixels = -0.5;
        reading.horizontalPercent = 100.0 * -0.5 / 1920;
        entry.readout = reading;
    }
    const QString line = AlignmentLog::line(entry);
    QCOMPARE(line, expected + QLatin1Char('\n'));
    // As many fields as the header names.
    QCOMPARE(line.count(QLatin1Char(',')), AlignmentLog::header().count(QLatin1Char(',')));
    QCOMPARE(AlignmentLog::fileName(entry.timeLabel),
             QStringLiteral("ds_camera_calibrator_001_02_03_04_alignment.csv"));
}

void TestAlignment::logNeverOverwrites()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath(AlignmentLog::fileName(5));
    {
        QFile earlier(first);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier take\n");
    }
    AlignmentLog log;
    QVERIFY2(log.start(dir.path(), 5), qPrintable(log.errorString()));
    QCOMPARE(QFileInfo(log.filePath()).fileName(),
             QStringLiteral("ds_camera_calibrator_005_00_00_00_alignment_2.csv"));
    AlignmentLogEntry entry;
    entry.timeLabel = 5;
    QVERIFY(log.append(entry));
    // On disk as soon as it is written, while the recording runs.
    QCOMPARE(readLines(log.filePath()).size(), 2);
    QCOMPARE(readLines(first), QStringList{"an earlier take"});
}

void TestAlignment::logWriteFailureStops()
{
    QTemporaryDir dir;
    AlignmentLog log;
    QVERIFY(log.start(dir.path(), 9));
    QVERIFY(log.append(AlignmentLogEntry()));
    {
        // The file may grow no further: the next line cannot be written.
        const FileSizeLimit full(QFileInfo(log.filePath()).size());
        QVERIFY(!log.append(AlignmentLogEntry()));
    }
    QVERIFY(!log.isRecording());
    QVERIFY(!log.errorString().isEmpty());
    QCOMPARE(log.lineCount(), 1);
    QCOMPARE(readLines(log.filePath()).size(), 2);
    // Stopped: nothing more goes to the file.
    QVERIFY(!log.append(AlignmentLogEntry()));
    QCOMPARE(readLines(log.filePath()).size(), 2);
}

void TestAlignment::advice_data()
{
    QTest::addColumn<PictureOrientation>("verdict");
    QTest::addColumn<FrameTransform>("left");
    QTest::addColumn<FrameTransform>("right");
    QTest::addColumn<QString>("expected");

    const FrameTransform none;
    FrameTransform flipH;
    flipH.flipHorizontal = true;
    FrameTransform flipV;
    flipV.flipVertical = true;
    FrameTransform turn;
    turn.rotate180 = true;
    FrameTransform both;
    both.flipHorizontal = both.flipVertical = true;
    const QString tail = QStringLiteral(" camera, Acquisition tab)");

    QTest::newRow("fits") << PictureOrientation::AsIs << none << flipH << QString();
    QTest::newRow("mirror rig not flipped")
        << PictureOrientation::MirroredLeftRight << none << none
        << "Right picture looks mirrored left-right: tick Flip horizontal (Right" + tail;
    QTest::newRow("right flipped by mistake")
        << PictureOrientation::MirroredLeftRight << none << flipH
        << "Right picture looks mirrored left-right: untick Flip horizontal (Right" + tail;
    QTest::newRow("left flipped by mistake")
        << PictureOrientation::MirroredLeftRight << flipH << none
        << "Left picture looks mirrored left-right: untick Flip horizontal (Left" + tail;
    QTest::newRow("upside down mirror")
        << PictureOrientation::MirroredTopBottom << none << none
        << "Right picture looks mirrored top-bottom: tick Flip vertical (Right" + tail;
    QTest::newRow("right flipped vertically by mistake")
        << PictureOrientation::MirroredTopBottom << none << flipV
        << "Right picture looks mirrored top-bottom: untick Flip vertical (Right" + tail;
    QTest::newRow("camera upside down")
        << PictureOrientation::Turned180 << none << none
        << "Right picture looks turned 180 degrees: tick Rotate 180 (Right" + tail;
    QTest::newRow("right turned by mistake")
        << PictureOrientation::Turned180 << none << turn
        << "Right picture looks turned 180 degrees: untick Rotate 180 (Right" + tail;
    QTest::newRow("right turned by both flips")
        << PictureOrientation::Turned180 << none << both
        << "Right picture looks turned 180 degrees: untick Flip horizontal and Flip vertical (Right" + tail;
    QTest::newRow("left turned by mistake")
        << PictureOrientation::Turned180 << turn << none
        << "Left picture looks turned 180 degrees: untick Rotate 180 (Left" + tail;
}

void TestAlignment::advice()
{
    QFETCH(PictureOrientation, verdict);
    QFETCH(FrameTransform, left);
    QFETCH(FrameTransform, right);
    QFETCH(QString, expected);
    QCOMPARE(orientationAdvice(verdict, left, right), expected);
}

void TestAlignment::trendKeepsAMinute()
{
    AlignmentTrendPlot plot;
    AlignmentReading reading;
    for (int second = 0; second <= 90; ++second) {
        reading.verticalPixels = second;
        plot.addReading(100.0 + second, reading);
    }
    // 130 to 190: the readings of the last minute, the newest at 0.
    QCOMPARE(plot.readingCount(), 61);
    QCOMPARE(plot.values(AlignmentTrendPlot::Vertical).front(), 30.0);
    QCOMPARE(plot.shownTimes().front(), -60.0);
    QCOMPARE(plot.shownTimes().back(), 0.0);
    // A clock that starts again starts the trend again.
    plot.addReading(3.0, reading);
    QCOMPARE(plot.readingCount(), 1);
    plot.clear();
    QCOMPARE(plot.readingCount(), 0);

    // The shading is the indicators' limits: a Y offset of 2 (green) and 5
    // (yellow) summed over four corners is 0.5 and 1.25 px.
    plot.setBands(readoutBands({}));
    QList<double> edges;
    for (const QwtPlotItem* item :
         plot.plot(AlignmentTrendPlot::Vertical)->itemList(QwtPlotItem::Rtti_PlotZone))
        edges << static_cast<const QwtPlotZoneItem*>(item)->interval().maxValue();
    std::sort(edges.begin(), edges.end());
    QCOMPARE(edges, (QList<double>{0.5, 1.25}));
}

void TestAlignment::windowReadout()
{
    MainWindow window;
    PairSource source(window);
    auto* value = find<QLabel>(window, "lbl_AlignVerticalValue");
    auto* state = find<QLabel>(window, "lbl_AlignVerticalState");
    auto* action = find<QLabel>(window, "lbl_AlignVerticalAction");
    auto* roll = find<QLabel>(window, "lbl_AlignRollAction");
    auto* indicator = find<QLabel>(window, "lbl_yOffsetTxt");
    auto* trend = find<AlignmentTrendPlot>(window, "wgt_AlignmentTrend");
    QVERIFY(value && state && action && roll && indicator && trend);

    // The right picture 3 px lower: the indicator sums -12 over the corners.
    for (int i = 0; i < 3; ++i)
        source.deliver(board(), board(0, 3));
    QCOMPARE(indicator->text(), QStringLiteral("-12"));
    QCOMPARE(value->text(), QStringLiteral("3.0 px (0.42 % of height)"));
    QCOMPARE(state->text(), QStringLiteral("ADJUST"));
    QCOMPARE(state->palette().color(QPalette::Window), indicator->palette().color(QPalette::Window));
    QCOMPARE(action->text(), QStringLiteral("Right camera: tilt down 3.0 px"));
    QCOMPARE(roll->text(), QStringLiteral("Right camera: roll OK, leave it"));
    QCOMPARE(trend->readingCount(), 3);

    // No board on one side: nothing measured, nothing added to the trend.
    source.deliver(board(), {});
    QCOMPARE(state->text(), QStringLiteral("UNDEFINED"));
    QCOMPARE(value->text(), QStringLiteral("-"));
    QCOMPARE(trend->readingCount(), 3);

    MainWindowProbe(window).calibration().alignment().clearAlignment();
    QVERIFY(value->text().isEmpty());
    QCOMPARE(trend->readingCount(), 0);
    // After a clear the first reading is the measured one, not diluted.
    source.deliver(board(), board(0, -1));
    QCOMPARE(value->text(), QStringLiteral("-1.0 px (-0.14 % of height)"));
}

void TestAlignment::windowRecords()
{
    QTemporaryDir dir;
    MainWindow window;
    PairSource source(window);
    find<QLineEdit>(window, "lineEdit_disparityOutputDir")->setText(dir.path());
    auto* record = find<QPushButton>(window, "btn_AlignmentRecord");
    auto* status = find<QLabel>(window, "lbl_AlignmentRecordStatus");
    QVERIFY(record && status);

    source.deliver(board(), board()); // before the recording: not in the file
    record->click();
    QVERIFY(record->isChecked());
    const uint32_t first = source.label() + 1;
    source.deliver(board(), board(0, 2));
    source.deliver(board(), {});
    source.deliver(board(), board(0, 2));

    const QString path = dir.filePath(AlignmentLog::fileName(first));
    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0] + QLatin1Char('\n'), AlignmentLog::header());
    QVERIFY(lines[1].startsWith(formatTimeWord(first) + QStringLiteral(",yes,yes,")));
    QVERIFY(lines[2].startsWith(formatTimeWord(first + 1) + QStringLiteral(",yes,no,,undefined")));
    // The count is of the measurement lines, and says the file has a header line besides.
    QVERIFY(status->text().contains(QStringLiteral("Recording 3 measurement lines (after the header line)")));
    QCOMPARE(record->text(), QStringLiteral("Stop recording"));

    record->click();
    QVERIFY(status->text().startsWith(QStringLiteral("Recorded 3 measurement lines")));
    QCOMPARE(record->text(), QStringLiteral("Record"));
    source.deliver(board(), board());
    QCOMPARE(readLines(path).size(), 4);

    // A new recording, a new file; a disk that fills up stops it and says so.
    record->click();
    source.deliver(board(), board());
    const QString second = dir.filePath(AlignmentLog::fileName(source.label()));
    QCOMPARE(readLines(second).size(), 2);
    {
        const FileSizeLimit full(QFileInfo(second).size());
        source.deliver(board(), board());
    }
    QVERIFY(!record->isChecked());
    QCOMPARE(record->text(), QStringLiteral("Record"));
    QVERIFY2(status->text().startsWith(QStringLiteral("Recording stopped: cannot write")),
             qPrintable(status->text()));
    source.deliver(board(), board());
    QCOMPARE(readLines(second).size(), 2);
    QCOMPARE(readLines(path).size(), 4);
}

void TestAlignment::windowRecordWithoutDirectory()
{
    QTemporaryDir dir;
    MainWindow window;
    PairSource source(window);
    auto* directory = find<QLineEdit>(window, "lineEdit_disparityOutputDir");
    auto* record = find<QPushButton>(window, "btn_AlignmentRecord");
    auto* status = find<QLabel>(window, "lbl_AlignmentRecordStatus");
    directory->setText(dir.filePath(QStringLiteral("gone")));
    record->click();
    // The button comes back up and the window says what to do.
    QVERIFY(!record->isChecked());
    QVERIFY(status->text().startsWith(QStringLiteral("Not recording")));
    QVERIFY(status->text().contains(QStringLiteral("does not exist")));

    // Gone after the button was pressed: said at the first measurement.
    QVERIFY(QDir().mkpath(directory->text()));
    record->click();
    QVERIFY(record->isChecked());
    QVERIFY(QDir(directory->text()).removeRecursively());
    source.deliver(board(), board());
    QVERIFY(!record->isChecked());
    QVERIFY(status->text().startsWith(QStringLiteral("Not recording: cannot create the take log")));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TestAlignment::windowOrientationWarning()
{
    MainWindow window;
    PairSource source(window);
    auto* warning = find<QLabel>(window, "lbl_OrientationWarning");
    QVERIFY(warning);
    const cv::Mat left = scene(cv::Size(640, 360));
    cv::Mat mirrored;
    cv::flip(left, mirrored, 1);

    source.deliver(board(), board(), left, left.clone());
    QVERIFY(warning->isHidden());

    MainWindowProbe(window).calibration().alignment().clearAlignment(); // the next result is checked at once
    source.deliver(board(), board(), left, mirrored);
    QVERIFY(!warning->isHidden());
    QCOMPARE(warning->text(), QStringLiteral("WARNING: Right picture looks mirrored left-right: tick Flip "
                                             "horizontal (Right camera, Acquisition tab)"));

    MainWindowProbe(window).calibration().alignment().clearAlignment();
    source.deliver(board(), board(), left, left.clone());
    QVERIFY(warning->isHidden());
}

QTEST_MAIN(TestAlignment)
#include "tst_alignment.moc"
