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
#include <cstdio>
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
    void logColumnsNameTheirUnits();
    void logNeverOverwrites();
    void logWriteFailureStops();
    void logLosesNothing_data();
    void logLosesNothing();
    void logLeavesNoEmptyFile();
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
    QTest::addColumn<int>("scene"); // 0: none yet, 1: a reading, 2: no reading
    QTest::addColumn<int>("sync");  // 0: none yet, 1: by timecode, 2: a still scene, 3: from motion
    QTest::addColumn<QString>("expected");

    // The scene's twelve fields come after the board's, empty before the first scene measurement,
    // and the four of the cameras' offset after them.
    const QString noScene = QStringLiteral(",,,,,,,,,,,,");
    const QString noSync = QStringLiteral(",,,,");
    QTest::newRow("measured") << true << true << true << 0 << 0
                              << "001:02:03:04,yes,yes,0.015,yellow,-0.28,yellow,-7,red,0,green,2,0.185185,0."
                                 "3,1.01,-0.5,-0.0260417" +
                                     noScene + noSync;
    QTest::newRow("no board on the right")
        << false << true << false << 0 << 0
        << "001:02:03:04,yes,no,,undefined,,undefined,,undefined,,undefined,,,,,," + noScene + noSync;
    QTest::newRow("boards that cannot be paired")
        << false << true << true << 0 << 0
        << "001:02:03:04,yes,yes,,undefined,,undefined,,undefined,,undefined,,,,,," + noScene + noSync;
    QTest::newRow("board away, scene read")
        << false << false << false << 1 << 0
        << QStringLiteral("001:02:03:04,no,no,,undefined,,undefined,,undefined,,undefined,,,,,,,"
                          "001:02:03:09,412,380,14,0.21,1.9,0.175926,0.29,0.98,-0.4,0.1,\"\"") +
               noSync;
    // The reason is one quoted field, whatever commas and quotes it holds.
    QTest::newRow("board away, scene not read")
        << false << false << false << 2 << 0
        << QStringLiteral("001:02:03:04,no,no,,undefined,,undefined,,undefined,,undefined,,,,,,,"
                          "001:02:03:09,12,0,0,0,,,,,,,\"No scene reading: too few, \"\"really\"\"\"") +
               noSync;
    const QString boardAway =
        QStringLiteral("001:02:03:04,no,no,,undefined,,undefined,,undefined,,undefined,,,,,,") + noScene;
    QTest::newRow("right camera a frame late by timecode")
        << false << false << false << 0 << 1 << boardAway + QStringLiteral(",1,1.00,timecode,");
    // No figure where nothing moves: the reason says why, quoted like the scene's.
    QTest::newRow("still scene, quoted with the scene's reason")
        << false << false << false << 2 << 2
        << QStringLiteral("001:02:03:04,no,no,,undefined,,undefined,,undefined,,undefined,,,,,,,"
                          "001:02:03:09,12,0,0,0,,,,,,,\"No scene reading: too few, \"\"really\"\"\"") +
               QStringLiteral(
                   ",,,motion,\"unknown: the scene is still; move something in front of both cameras\"");
    QTest::newRow("left camera two frames late from motion")
        << false << false << false << 0 << 3 << boardAway + QStringLiteral(",-2,0.62,motion,");
}

void TestAlignment::logLines()
{
    QFETCH(bool, measured);
    QFETCH(bool, boardLeft);
    QFETCH(bool, boardRight);
    QFETCH(int, scene);
    QFETCH(int, sync);
    QFETCH(QString, expected);

    AlignmentLogEntry entry;
    entry.timeLabel = 0x04030201;
    if (scene > 0) {
        SceneMeasurement measurement;
        measurement.evidence.matches = 412;
        if (scene == 1) {
            measurement.evidence = {900, 910, 412, 380, 14, 0.21};
            measurement.reading = SceneReading{1.9, 100.0 * 1.9 / 1080, 0.29, 0.98, -0.4, 0.1};
        } else {
            measurement.evidence.matches = 12;
            measurement.failure = SceneFailure::TooLittleTexture;
            measurement.reason = QStringLiteral("No scene reading: too few, \"really\"");
        }
        entry.scene = measurement;
        entry.sceneTimeLabel = 0x09030201;
    }
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
    TimecodeSync::Reading late{1, 40, 25};
    MotionOffset still;
    still.status = MotionOffset::Status::StillScene;
    MotionOffset motion;
    motion.status = MotionOffset::Status::Measured;
    motion.frames = -2;
    motion.confidence = 0.62;
    if (sync == 1)
        entry.sync = syncReading(late, motion, 25);
    else if (sync > 1)
        entry.sync = syncReading(std::nullopt, sync == 2 ? still : motion, 25);
    const QString line = AlignmentLog::line(entry);
    QCOMPARE(line, expected + QLatin1Char('\n'));
    // As many fields as the header names, each quoted reason counting as one.
    QString unquoted = line;
    unquoted.remove(QRegularExpression(QStringLiteral("\"(?:[^\"]|\"\")*\"")));
    QCOMPARE(unquoted.count(QLatin1Char(',')), AlignmentLog::header().count(QLatin1Char(',')));
    QCOMPARE(AlignmentLog::fileName(entry.timeLabel),
             QStringLiteral("ds_camera_calibrator_001_02_03_04_alignment.csv"));
}

void TestAlignment::logColumnsNameTheirUnits()
{
    const QStringList columns = AlignmentLog::header().trimmed().split(QLatin1Char(','));
    // The columns of earlier files keep their places: 17, the states after their values;
    // the scene's twelve come after them, the cameras' offset's four after those.
    QCOMPARE(columns.size(), 33);
    for (int scene = 17; scene < 29; ++scene)
        QVERIFY2(columns[scene].startsWith(QStringLiteral("scene_")), qPrintable(columns[scene]));
    for (int sync = 29; sync < columns.size(); ++sync)
        QVERIFY2(columns[sync].startsWith(QStringLiteral("sync_")), qPrintable(columns[sync]));
    QCOMPARE(columns[29], QStringLiteral("sync_offset_frames"));
    for (int state : {4, 6, 8, 10})
        QVERIFY2(columns[state].endsWith(QStringLiteral("_state")), qPrintable(columns[state]));
    // Every column that holds a number says in what.
    const QStringList units{"_px", "_deg", "_pct", "_pct_of_height", "_pct_of_width", "_ratio"};
    for (int number : {3, 5, 7, 9, 11, 12, 13, 14, 15, 16}) {
        const QString& name = columns[number];
        QVERIFY2(std::any_of(units.begin(), units.end(), [&](const QString& u) { return name.endsWith(u); }),
                 qPrintable(name));
    }
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

// What can happen to a recording under way, and what the log must then say.
enum class LogFault
{
    LineCut,       // the disk takes only part of a line
    FileRemoved,   // the file is deleted
    FolderRemoved, // its folder is deleted with it
    FileReplaced,  // another file now has its name
};
Q_DECLARE_METATYPE(LogFault)

void TestAlignment::logLosesNothing_data()
{
    QTest::addColumn<LogFault>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a line the disk cuts") << LogFault::LineCut << "the file is too large";
    QTest::newRow("file removed") << LogFault::FileRemoved << "removed while recording";
    QTest::newRow("folder removed") << LogFault::FolderRemoved << "removed while recording";
    QTest::newRow("file replaced") << LogFault::FileReplaced << "replaced by another while recording";
}

void TestAlignment::logLosesNothing()
{
    QFETCH(LogFault, fault);
    QFETCH(QString, reason);
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("takes"));
    QVERIFY(QDir().mkpath(folder));
    AlignmentLog log;
    QVERIFY(log.start(folder, 3));
    QVERIFY(log.append(AlignmentLogEntry()));
    const QString path = log.filePath();
    const qint64 whole = QFileInfo(path).size();

    bool appended = true;
    if (fault == LogFault::LineCut) {
        // Room for a few bytes of the next line only.
        const FileSizeLimit limit(whole + 7);
        appended = log.append(AlignmentLogEntry());
    } else {
        if (fault == LogFault::FileRemoved)
            QVERIFY(QFile::remove(path));
        else if (fault == LogFault::FolderRemoved)
            QVERIFY(QDir(folder).removeRecursively());
        else {
            const QString other = parent.filePath(QStringLiteral("other.csv"));
            QFile file(other);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("someone else's\n");
            file.close();
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
        }
        appended = log.append(AlignmentLogEntry());
    }
    QVERIFY(!appended);
    QVERIFY(!log.isRecording());
    QVERIFY2(log.errorString().contains(reason), qPrintable(log.errorString()));
    QCOMPARE(log.lineCount(), 1);
    if (fault == LogFault::LineCut) {
        // The cut line is taken back: the file ends with the last whole line.
        QCOMPARE(QFileInfo(path).size(), whole);
        QCOMPARE(readLines(path).size(), 2);
    }
    if (fault == LogFault::FileReplaced)
        QCOMPARE(readLines(path), QStringList{"someone else's"});
}

void TestAlignment::logLeavesNoEmptyFile()
{
    QTemporaryDir dir;
    AlignmentLog log;
    {
        // Not even the header fits, as on a disk full at the start.
        const FileSizeLimit limit(0);
        QVERIFY(!log.start(dir.path(), 4));
    }
    QVERIFY(!log.isRecording());
    QVERIFY2(log.errorString().startsWith("the file is too large"), qPrintable(log.errorString()));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
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
    // The count is that of the file's lines under its header.
    QVERIFY2(status->text().contains(QStringLiteral("Recording 3 measurement lines (and the header line)")),
             qPrintable(status->text()));
    QCOMPARE(lines.size() - 1, 3);
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
    QVERIFY2(status->text().startsWith(QStringLiteral("Recording stopped at ")) &&
                 status->text().contains(QStringLiteral("cannot write")),
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
