// The disparity tab as the user drives it: the settings check, the request
// and the button that waits for its answer, the preview, the results with
// their histogram and PNG files, and the output directory.

#include "app/appnames.h"
#include "app/frameview.h"
#include "common/mainwindowprobe.h"
#include "common/messagelog.h"
#include "common/modalanswerer.h"
#include "common/privatesettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <csignal>
#include <opencv2/imgcodecs.hpp>
#include <qwt_plot.h>
#include <qwt_plot_histogram.h>
#include <sys/resource.h>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

const QString kMinimumMessage = "Wrong value of minimum disparity\nShould be divisible by 16";
const QString kMaximumMessage = "Wrong value of maximum disparity\nShould be divisible by 16";
const QString kBlockSizeMessage = "Wrong value of block size\nShould be an odd number";
const QString kOrderMessage =
    "Wrong value of maximum disparity\nShould be greater than the minimum disparity";
const QString kNearMessage = "Wrong value of parallax near\nShould not be greater than parallax screen";
const QString kFarMessage = "Wrong value of parallax far\nShould not be less than parallax screen";

// A window whose directory dialog answers as the test says, noting where it was opened.
class ScriptedDirectoryWindow : public MainWindow
{
public:
    QString answer;
    QStringList openedAt;

protected:
    QString askForOutputDirectory(const QString& current) override
    {
        openedAt << current;
        return answer;
    }
};

cv::Mat texture(cv::Size size, int type, uint64_t seed)
{
    cv::Mat picture(size, type);
    cv::RNG(seed).fill(picture, cv::RNG::UNIFORM, 0, 256);
    return picture;
}

// A stereo pair of one instant: the right view is the left one moved 4 px to the left.
std::pair<VideoFrame, VideoFrame> stereoPair()
{
    VideoFrame left;
    left.image = texture(cv::Size(96, 64), CV_8UC3, 1);
    left.timecodeFormat = 1;
    left.timecode = packTimeWord(10, 20, 30, 12);
    VideoFrame right = left;
    right.image = cv::Mat(left.image.size(), CV_8UC3, cv::Scalar::all(0));
    left.image.colRange(4, 96).copyTo(right.image.colRange(0, 92));
    return {left, right};
}

bool hasPicture(const QLabel* label)
{
    return !label->pixmap(Qt::ReturnByValue).isNull();
}

QImage shown(const QLabel* label)
{
    return label->pixmap(Qt::ReturnByValue).toImage();
}

} // namespace

class TestDisparityControls : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;

    // Whether the disparity thread (running) holds a request. It is offered a
    // pair without pictures, which a request turns into a failure, then
    // pairs until it takes one, which it does once it has handled the first.
    static bool holdsRequest(DisparityMapThread* thread)
    {
        QObject receiver;
        bool failed = false;
        QObject::connect(thread, &DisparityMapThread::disparityMapFailed, &receiver, [&] { failed = true; });
        QLoggingCategory::setFilterRules("duoscope.disparity.debug=true");
        MessageLog log;
        thread->onNewInputFramesArrived(VideoFrame(), VideoFrame());
        for (int busy = log.count("BUSY");; busy = log.count("BUSY")) {
            thread->onNewInputFramesArrived(VideoFrame(), VideoFrame());
            if (log.count("BUSY") == busy)
                break;
            QTest::qWait(1);
        }
        QLoggingCategory::setFilterRules("default.debug=false");
        QCoreApplication::processEvents(); // the failure, if any, was sent before the second pair was taken
        return failed;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QLoggingCategory::setFilterRules("default.debug=false");
    }
    // Each window starts from the tab's defaults, not from the last test's settings.
    void init() { QSettings(kOrganizationName, kApplicationName).remove(QStringLiteral("Disparity")); }

    void settingsAreCheckedBeforeAnyRequest_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QString>("message");
        QTest::newRow("minimum -60") << -60 << 64 << 11 << kMinimumMessage;
        QTest::newRow("minimum -8") << -8 << 64 << 11 << kMinimumMessage;
        QTest::newRow("maximum 60") << -64 << 60 << 11 << kMaximumMessage;
        QTest::newRow("both wrong: the minimum first") << -60 << 60 << 11 << kMinimumMessage;
        QTest::newRow("block size 12") << -64 << 64 << 12 << kBlockSizeMessage;
        QTest::newRow("maximum and block size wrong") << -64 << 60 << 12 << kMaximumMessage;
        QTest::newRow("maximum equal to the minimum") << 32 << 32 << 11 << kOrderMessage;
        QTest::newRow("maximum below the minimum") << 64 << -64 << 11 << kOrderMessage;
        QTest::newRow("order and block size wrong: the block size first")
            << 64 << -64 << 4 << kBlockSizeMessage;
        QTest::newRow("the defaults") << -64 << 64 << 11 << QString();
        QTest::newRow("the widest") << -256 << 256 << 31 << QString();
        QTest::newRow("one step") << 0 << 16 << 3 << QString();
    }
    void settingsAreCheckedBeforeAnyRequest()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, blockSize);
        QFETCH(QString, message);
        MainWindow window;
        MainWindowProbe probe(window);
        window.findChild<QSpinBox*>("box_MinDisparity")->setValue(minimum);
        window.findChild<QSpinBox*>("box_MaxDisparity")->setValue(maximum);
        window.findChild<QSpinBox*>("box_BlockSize")->setValue(blockSize);
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");

        ModalAnswerer answerer;
        analyze->click();
        const bool valid = message.isEmpty();
        QCOMPARE(answerer.titles(), valid ? QStringList() : QStringList{"Wrong settings"});
        QCOMPARE(answerer.texts(), valid ? QStringList() : QStringList{message});
        QCOMPARE(analyze->isEnabled(), !valid);

        probe.pipeline().disparityMap()->start();
        QCOMPARE(holdsRequest(probe.pipeline().disparityMap()), valid);
    }

    // Valid settings ask for one analysis; the button waits for its result.
    void anAnalysisIsShownWhenItsResultArrives()
    {
        QTemporaryDir output;
        MainWindow window;
        MainWindowProbe probe(window);
        window.findChild<QTabWidget*>("tabWidget")->setCurrentIndex(2);
        probe.pipeline().switchTo(FramePipeline::Branch::Disparity);
        window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->setText(output.path());
        QVERIFY(!window.findChild<QGroupBox*>("grp_SaveResults")->isChecked());
        window.findChild<QSpinBox*>("box_MinDisparity")->setValue(0);
        window.findChild<QSpinBox*>("box_MaxDisparity")->setValue(16);
        window.findChild<QSpinBox*>("box_BlockSize")->setValue(5);
        window.findChild<QCheckBox*>("chb_OutputColored")->setChecked(false);
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        auto label = [&](const char* name) { return window.findChild<QLabel*>(name); };

        analyze->click();
        QVERIFY(!analyze->isEnabled());
        QCoreApplication::processEvents();
        QVERIFY(!analyze->isEnabled()); // no pair yet, no result

        const auto [left, right] = stereoPair();
        probe.pipeline().disparityMap()->onNewInputFramesArrived(left, right);
        QTRY_VERIFY(analyze->isEnabled());
        QVERIFY(hasPicture(label("lbl_DisparityInputImgL")));
        QVERIFY(hasPicture(label("lbl_DisparityInputImgR")));
        QVERIFY(hasPicture(label("lbl_DisparityMapResult")));
        // The grey map that was asked for.
        const QRgb centre = shown(label("lbl_DisparityMapResult")).pixel(10, 10);
        QVERIFY(qRed(centre) == qGreen(centre) && qGreen(centre) == qBlue(centre));

        // The histogram of the requested range: one column per disparity 0 to 16.
        const QwtPlotItemList items =
            window.findChild<QwtPlot*>("wgt_DisparityHistogram")->itemList(QwtPlotItem::Rtti_PlotHistogram);
        QCOMPARE(items.size(), 1);
        const auto* histogram = static_cast<const QwtPlotHistogram*>(items.first());
        QCOMPARE(int(histogram->dataSize()), 17);
        QCOMPARE(histogram->sample(0).interval.minValue(), -0.5);

        // "Save results" is off: nothing written.
        QVERIFY(QDir(output.path()).entryList(QDir::Files).isEmpty());
    }

    void aFailedAnalysisIsShownAndTheButtonComesBack()
    {
        MainWindow window;
        MainWindowProbe probe(window);
        window.findChild<QTabWidget*>("tabWidget")->setCurrentIndex(2);
        probe.pipeline().switchTo(FramePipeline::Branch::Disparity);
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        ModalAnswerer answerer;

        analyze->click();
        QVERIFY(!analyze->isEnabled());
        auto [left, right] = stereoPair();
        right.image = right.image(cv::Rect(0, 0, 48, 64)).clone();
        probe.pipeline().disparityMap()->onNewInputFramesArrived(left, right);
        QTRY_VERIFY(analyze->isEnabled());
        QCOMPARE(answerer.titles(), QStringList{"Disparity analysis error"});
        QVERIFY2(answerer.texts().first().contains("differ in size"), qPrintable(answerer.texts().first()));
    }

    void resultsAreSavedAsPngFilesNamedAfterTheirTimeLabels_data()
    {
        QTest::addColumn<uint32_t>("timecodeFormat");
        QTest::addColumn<uint32_t>("leftLabel");
        QTest::addColumn<uint32_t>("rightLabel");
        QTest::addColumn<cv::Mat>("map");
        QTest::addColumn<QStringList>("names");
        // A flat map: compressed, it would take a few hundred bytes.
        const cv::Mat grey(64, 96, CV_8UC1, cv::Scalar(77));
        const cv::Mat coloured = texture(cv::Size(96, 64), CV_8UC3, 8);
        QTest::newRow("10:20:30:12") << 1u << packTimeWord(10, 20, 30, 12) << packTimeWord(10, 20, 30, 12)
                                     << coloured
                                     << QStringList{"ds_camera_calibrator_010_20_30_12_L.png",
                                                    "ds_camera_calibrator_010_20_30_12_R.png",
                                                    "ds_camera_calibrator_010_20_30_12_map.png",
                                                    "ds_camera_calibrator_010_20_30_12_budget.txt"};
        QTest::newRow("5:7:0:3, grey map")
            << 1u << packTimeWord(5, 7, 0, 3) << packTimeWord(5, 7, 0, 3) << grey
            << QStringList{"ds_camera_calibrator_005_07_00_03_L.png",
                           "ds_camera_calibrator_005_07_00_03_R.png",
                           "ds_camera_calibrator_005_07_00_03_map.png",
                           "ds_camera_calibrator_005_07_00_03_budget.txt"};
        // Without a timecode the hardware reference time names the files.
        QTest::newRow("no timecode") << 0u << packTimeWord(1, 2, 3, 4) << packTimeWord(1, 2, 3, 4) << coloured
                                     << QStringList{"ds_camera_calibrator_001_02_03_04_L.png",
                                                    "ds_camera_calibrator_001_02_03_04_R.png",
                                                    "ds_camera_calibrator_001_02_03_04_map.png",
                                                    "ds_camera_calibrator_001_02_03_04_budget.txt"};
        QTest::newRow("each picture its own label")
            << 1u << packTimeWord(0, 0, 1, 2) << packTimeWord(0, 0, 1, 3) << coloured
            << QStringList{"ds_camera_calibrator_000_00_01_02_L.png",
                           "ds_camera_calibrator_000_00_01_03_R.png",
                           "ds_camera_calibrator_000_00_01_02_map.png",
                           "ds_camera_calibrator_000_00_01_02_budget.txt"};
    }
    void resultsAreSavedAsPngFilesNamedAfterTheirTimeLabels()
    {
        QFETCH(uint32_t, timecodeFormat);
        QFETCH(uint32_t, leftLabel);
        QFETCH(uint32_t, rightLabel);
        QFETCH(cv::Mat, map);
        QFETCH(QStringList, names);
        QTemporaryDir output;
        MainWindow window;
        window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->setText(output.path());
        window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        analyze->setEnabled(false);

        VideoFrame frames[3];
        const uint32_t labels[] = {leftLabel, rightLabel, leftLabel}; // the map carries the left label
        for (int i = 0; i < 3; ++i) {
            frames[i].timecodeFormat = timecodeFormat;
            (timecodeFormat ? frames[i].timecode : frames[i].hardwareReferenceTimestamp) = labels[i];
            // The other word must not name the files.
            (timecodeFormat ? frames[i].hardwareReferenceTimestamp : frames[i].timecode) =
                packTimeWord(99, 9, 9, 9);
        }
        frames[0].image = texture(cv::Size(96, 64), CV_8UC3, 1);
        frames[1].image = texture(cv::Size(96, 64), CV_8UC3, 2);
        frames[2].image = map;
        ModalAnswerer answerer;
        MainWindowProbe(window).disparity().onNewDisparityMapResults(frames[0], frames[1], frames[2],
                                                                     DisparityHistogramInfo());
        QVERIFY(answerer.titles().isEmpty());
        QVERIFY(analyze->isEnabled());

        QStringList sorted = names;
        sorted.sort();
        QCOMPARE(QDir(output.path()).entryList(QDir::Files, QDir::Name), sorted);
        const char* const views[] = {"lbl_DisparityInputImgL", "lbl_DisparityInputImgR",
                                     "lbl_DisparityMapResult"};
        for (int i = 0; i < 3; ++i) {
            const QString path = QDir(output.path()).filePath(names[i]);
            const cv::Mat written = cv::imread(path.toStdString(), cv::IMREAD_UNCHANGED);
            QCOMPARE(written.type(), frames[i].image.type());
            QCOMPARE(written.size(), frames[i].image.size());
            QCOMPARE(cv::norm(written, frames[i].image, cv::NORM_INF), 0.0);
            // Stored without compression: the file holds at least every pixel byte.
            QVERIFY(QFileInfo(path).size() >= qint64(written.total() * written.elemSize()));
            // The file shows as the picture on screen does.
            auto* view = window.findChild<QLabel*>(views[i]);
            const QImage onScreen = shown(view);
            QVERIFY(!onScreen.isNull());
            showImage(written, view);
            QCOMPARE(shown(view), onScreen);
        }
    }

    // Each file that cannot be written gets its own box naming it and why;
    // none is left half written.
    void writeErrors_data()
    {
        QTest::addColumn<QString>("directory");   // in a fresh folder
        QTest::addColumn<int>("limit");           // bytes a file may have, as on a filling disk; 0: none
        QTest::addColumn<QStringList>("failing"); // suffixes of the files that fail
        QTest::addColumn<QString>("reason");
        const QStringList all{"_L.png", "_R.png", "_map.png", "_budget.txt"};
        QTest::newRow("missing directory")
            << "missing" << 0 << all << "the folder does not exist; choose another output directory";
        // The grey map is a third of a colour picture and the budget a few lines: they still fit.
        QTest::newRow("disk fills during the colour pictures")
            << "." << 10000 << QStringList{"_L.png", "_R.png"} << "the file is too large for the disk";
    }
    void writeErrors()
    {
        QFETCH(QString, directory);
        QFETCH(int, limit);
        QFETCH(QStringList, failing);
        QFETCH(QString, reason);
        QTemporaryDir parent;
        const QString output = QDir(parent.path()).filePath(directory);
        MainWindow window;
        window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->setText(output);
        window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        analyze->setEnabled(false);
        auto [left, right] = stereoPair();
        VideoFrame map = left;
        map.image = texture(cv::Size(96, 64), CV_8UC1, 3);

        ModalAnswerer answerer;
        {
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            const auto signal = std::signal(SIGXFSZ, SIG_IGN);
            rlimit capped = saved;
            capped.rlim_cur = limit > 0 ? rlim_t(limit) : saved.rlim_cur;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &capped), 0);
            MainWindowProbe(window).disparity().onNewDisparityMapResults(left, right, map,
                                                                         DisparityHistogramInfo());
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, signal);
        }
        QStringList texts;
        for (const QString& suffix : failing)
            texts << "Cannot write results of disparity analysis\n" +
                         QDir::toNativeSeparators(
                             QDir(output).filePath("ds_camera_calibrator_010_20_30_12" + suffix)) +
                         ": " + reason;
        QCOMPARE(answerer.titles(), QStringList(QVector<QString>(failing.size(), "Write error").toList()));
        QCOMPARE(answerer.texts(), texts);
        QVERIFY(analyze->isEnabled());
        QVERIFY(hasPicture(window.findChild<QLabel*>("lbl_DisparityMapResult")));
        // Only the files that were written whole are there, and they read back.
        QStringList written;
        for (const char* suffix : {"_L.png", "_R.png", "_map.png", "_budget.txt"})
            if (!failing.contains(suffix))
                written << "ds_camera_calibrator_010_20_30_12" + QString(suffix);
        written.sort();
        QCOMPARE(QDir(output).entryList(QDir::Files | QDir::Hidden, QDir::Name), written);
        for (const QString& name : written)
            if (name.endsWith(".png"))
                QVERIFY(!cv::imread(QDir(output).filePath(name).toStdString(), cv::IMREAD_UNCHANGED).empty());
    }

    // An empty directory setting is not the root of the file system: the
    // user is asked where the files go, and a cancel writes nothing.
    void emptyOutputDirectoryIsAskedFor_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void emptyOutputDirectoryIsAskedFor()
    {
        QFETCH(bool, answered);
        QSettings(kOrganizationName, kApplicationName).clear();
        QTemporaryDir chosen;
        ScriptedDirectoryWindow window;
        window.answer = answered ? chosen.path() : QString();
        auto* field = window.findChild<QLineEdit*>("lineEdit_disparityOutputDir");
        field->setText("  ");
        window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);
        auto [left, right] = stereoPair();
        VideoFrame map = left;
        map.image = texture(cv::Size(96, 64), CV_8UC1, 3);
        const QString atRoot = "/ds_camera_calibrator_010_20_30_12_L.png";
        QVERIFY(!QFile::exists(atRoot));

        ModalAnswerer answerer;
        MainWindowProbe(window).disparity().onNewDisparityMapResults(left, right, map,
                                                                     DisparityHistogramInfo());
        const bool leftAtRoot = QFile::exists(atRoot);
        if (leftAtRoot)
            for (const char* suffix : {"_L.png", "_R.png", "_map.png", "_budget.txt"})
                QFile::remove("/ds_camera_calibrator_010_20_30_12" + QString(suffix));
        QVERIFY(!leftAtRoot);
        QCOMPARE(window.openedAt, QStringList{QDir::homePath()});
        if (answered) {
            QVERIFY(answerer.titles().isEmpty());
            QCOMPARE(field->text(), chosen.path());
            QCOMPARE(QSettings(kOrganizationName, kApplicationName).value(kDisparityOutputDirKey).toString(),
                     chosen.path());
            QCOMPARE(QDir(chosen.path()).entryList(QDir::Files).size(), 4);
            // Asked once: the next results go to the same place.
            MainWindowProbe(window).disparity().onNewDisparityMapResults(left, right, map,
                                                                         DisparityHistogramInfo());
            QCOMPARE(window.openedAt.size(), 1);
        } else {
            QCOMPARE(answerer.titles(), QStringList{"Write error"});
            QCOMPARE(answerer.texts(), QStringList{"Cannot write results of disparity analysis\nNo output "
                                                   "directory is chosen: choose one with the \"...\" button "
                                                   "beside the field."});
            QCOMPARE(field->text(), QString("  "));
            QVERIFY(!QSettings(kOrganizationName, kApplicationName).contains(kDisparityOutputDirKey));
        }
        QSettings(kOrganizationName, kApplicationName).clear();
    }

    void livePreviewShowsEveryPair()
    {
        MainWindow window;
        VideoFrame left;
        left.image = cv::Mat(36, 64, CV_8UC3, cv::Scalar(0, 0, 200));
        VideoFrame right;
        right.image = cv::Mat(36, 64, CV_8UC3, cv::Scalar(200, 0, 0));
        MainWindowProbe(window).disparity().onDisparityPreview(left, right);
        QCOMPARE(shown(window.findChild<QLabel*>("lbl_DisparityLivePreviewLeft")).pixel(5, 5),
                 qRgb(200, 0, 0));
        QCOMPARE(shown(window.findChild<QLabel*>("lbl_DisparityLivePreviewRight")).pixel(5, 5),
                 qRgb(0, 0, 200));
    }

    void parallaxLimitsMustBeInOrder_data()
    {
        QTest::addColumn<double>("parallaxNear");
        QTest::addColumn<double>("parallaxScreen");
        QTest::addColumn<double>("parallaxFar");
        QTest::addColumn<QString>("message");
        QTest::newRow("the defaults: all equal") << 0.0 << 0.0 << 0.0 << QString();
        QTest::newRow("in front, on and behind") << -1.0 << 0.0 << 2.0 << QString();
        QTest::newRow("all equal off the screen") << 0.5 << 0.5 << 0.5 << QString();
        QTest::newRow("twenty percent each way") << -20.0 << 0.0 << 20.0 << QString();
        QTest::newRow("the whole width") << -100.0 << 100.0 << 100.0 << QString();
        QTest::newRow("beyond the width: refused, not cut short")
            << -150.0 << 0.0 << 20.0
            << "Wrong value of parallax near\nShould lie from -100 % to 100 % of the picture width; -150 % "
               "is "
               "refused";
        QTest::newRow("near behind the screen") << 1.0 << 0.0 << 2.0 << kNearMessage;
        QTest::newRow("far in front of the screen") << -1.0 << 0.5 << 0.2 << kFarMessage;
        QTest::newRow("reversed: the near limit first") << 2.0 << 1.0 << 0.0 << kNearMessage;
    }
    void parallaxLimitsMustBeInOrder()
    {
        QFETCH(double, parallaxNear);
        QFETCH(double, parallaxScreen);
        QFETCH(double, parallaxFar);
        QFETCH(QString, message);
        MainWindow window;
        MainWindowProbe probe(window);
        window.findChild<QDoubleSpinBox*>("box_ParallaxNear")->setValue(parallaxNear);
        window.findChild<QDoubleSpinBox*>("box_ParallaxScreen")->setValue(parallaxScreen);
        window.findChild<QDoubleSpinBox*>("box_ParallaxFar")->setValue(parallaxFar);
        const bool valid = message.isEmpty();
        const QStringList titles = valid ? QStringList() : QStringList{"Wrong settings"};
        const QStringList texts = valid ? QStringList() : QStringList{message};

        // Live analysis is checked in the same way, and stays off when refused.
        auto* live = window.findChild<QCheckBox*>("chb_LiveAnalysis");
        {
            ModalAnswerer answerer;
            live->setChecked(true);
            QCOMPARE(answerer.titles(), titles);
            QCOMPARE(answerer.texts(), texts);
            QCOMPARE(live->isChecked(), valid);
            QCOMPARE(probe.pipeline().disparityMap()->isLiveAnalysisOn(), valid);
            live->setChecked(false);
            QVERIFY(!probe.pipeline().disparityMap()->isLiveAnalysisOn());
        }

        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        ModalAnswerer answerer;
        analyze->click();
        QCOMPARE(answerer.titles(), titles);
        QCOMPARE(answerer.texts(), texts);
        QCOMPARE(analyze->isEnabled(), !valid);
        probe.pipeline().disparityMap()->start();
        QCOMPARE(holdsRequest(probe.pipeline().disparityMap()), valid);
    }

    void budgetIsShownAndSavedOnTheTargetScreen_data()
    {
        QTest::addColumn<int>("screen"); // entry of the list
        QTest::addColumn<double>("customWidth");
        QTest::addColumn<double>("eyeSeparation");
        QTest::addColumn<QString>("figures");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QString>("screenLine");
        // The scene reaches from 1 % of the width in front of the screen to
        // 14.72 px of a 1920-pixel picture behind it.
        QTest::newRow("12 m cinema") << 2 << 0.0 << 65.0 << "nearest -120 mm, farthest +92 mm, total 212 mm"
                                     << "far background diverges on a 12 m screen: 92 mm > 65 mm"
                                     << "12 m wide, eye separation 65 mm";
        QTest::newRow("5 m") << 1 << 0.0 << 65.0 << "nearest -50 mm, farthest +38 mm, total 88 mm"
                             << QString() << "5 m wide, eye separation 65 mm";
        QTest::newRow("1.4 m television")
            << 0 << 0.0 << 65.0 << "nearest -14 mm, farthest +11 mm, total 25 mm" << QString()
            << "1.4 m wide, eye separation 65 mm";
        QTest::newRow("custom 8 m, eyes 60 mm")
            << 3 << 8.0 << 60.0 << "nearest -80 mm, farthest +61 mm, total 141 mm"
            << "far background diverges on an 8 m screen: 61 mm > 60 mm"
            << "8 m wide, eye separation 60 mm";
    }
    void budgetIsShownAndSavedOnTheTargetScreen()
    {
        QFETCH(int, screen);
        QFETCH(double, customWidth);
        QFETCH(double, eyeSeparation);
        QFETCH(QString, figures);
        QFETCH(QString, warning);
        QFETCH(QString, screenLine);
        QTemporaryDir output;
        MainWindow window;
        window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->setText(output.path());
        window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);
        window.findChild<QComboBox*>("cmb_TargetScreen")->setCurrentIndex(screen);
        if (screen == 3)
            window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->setValue(customWidth);
        window.findChild<QDoubleSpinBox*>("box_EyeSeparation")->setValue(eyeSeparation);
        window.findChild<QDoubleSpinBox*>("box_ParallaxNear")->setValue(-1.0);
        window.findChild<QDoubleSpinBox*>("box_ParallaxFar")->setValue(0.5);
        window.findChild<QPushButton*>("btn_calcDisparityMap")->click(); // the settings the file names

        auto [left, right] = stereoPair();
        VideoFrame map = left;
        map.image = texture(cv::Size(96, 64), CV_8UC3, 3);
        DisparityHistogramInfo analysis;
        analysis.minDisparity = -64;
        analysis.maxDisparity = 64;
        analysis.histogram.assign(129, 0.5);
        analysis.budget.valid = true;
        analysis.budget.matchedPixels = 1000;
        analysis.budget.pixels = 2000;
        analysis.budget.nearestPercent = -1.0;
        analysis.budget.farthestPercent = 14.72 / 1920 * 100;
        analysis.budget.pictureWidth = 96;
        analysis.budget.mapWidth = 96;
        ModalAnswerer answerer;
        MainWindowProbe(window).disparity().onNewDisparityMapResults(left, right, map, analysis);
        QVERIFY(answerer.titles().isEmpty());

        const QString shown = window.findChild<QLabel*>("lbl_DepthBudget")->text();
        QVERIFY2(
            shown.contains("nearest -1.00 % (-1.0 px), farthest +0.77 % (+0.7 px), total 1.77 % (1.7 px)"),
            qPrintable(shown));
        QVERIFY2(shown.contains("of the 50.0 % of pixels matched inside the search range"),
                 qPrintable(shown));
        QVERIFY2(shown.contains("not corrected for the rig's misalignment"), qPrintable(shown));
        QVERIFY2(shown.contains(figures), qPrintable(shown));
        auto* warningLabel = window.findChild<QLabel*>("lbl_DivergenceWarning");
        QCOMPARE(!warningLabel->isHidden(), !warning.isEmpty());
        if (!warning.isEmpty()) {
            QVERIFY2(warningLabel->text().startsWith("Warning: " + warning + ". "),
                     qPrintable(warningLabel->text()));
        }

        QFile file(QDir(output.path()).filePath("ds_camera_calibrator_010_20_30_12_budget.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        const QStringList expected{
            "Depth budget of ds_camera_calibrator_010_20_30_12",
            "Settings: parallax near -1.00 %, screen 0.00 %, far 0.50 %; disparity -64..64 px; block size 11 "
            "px; coloured map",
            "Picture width: 96 px",
            "Matched pixels: 1000 of 2000, of them 0 at the ends of the search range",
            "Pixels counted: 1st to 99th percentile of the 50.0 % of pixels matched inside the search range",
            "Correction: pictures not corrected for the rig's misalignment (no board reading on the Camera "
            "Calibration tab): a size or vertical difference shifts the budget",
            "Nearest parallax (1st percentile): -1.00 % of the width, -1.0 px",
            "Farthest parallax (99th percentile): +0.77 % of the width, +0.7 px",
            "Total budget: 1.77 % of the width, 1.7 px",
            "Target screen: " + screenLine,
            "On the target screen: " + figures,
            "Divergence: " + (warning.isEmpty() ? QString("none") : warning),
            ""};
        QCOMPARE(lines, expected);

        // Another screen re-reads the shown budget at once.
        window.findChild<QComboBox*>("cmb_TargetScreen")->setCurrentIndex(screen == 2 ? 0 : 2);
        QCOMPARE(!warningLabel->isHidden(), screen != 2);
    }

    void analysisSettingsAreKeptForTheNextStart_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("stored"); // written to the store instead, before the start
        QTest::addColumn<double>("expected");
        const double none = qQNaN();
        QTest::newRow("parallax near") << "box_ParallaxNear" << -12.5 << none << -12.5;
        QTest::newRow("parallax far") << "box_ParallaxFar" << 3.25 << none << 3.25;
        QTest::newRow("min disparity") << "box_MinDisparity" << -320.0 << none << -320.0;
        QTest::newRow("max disparity") << "box_MaxDisparity" << 96.0 << none << 96.0;
        QTest::newRow("block size") << "box_BlockSize" << 7.0 << none << 7.0;
        QTest::newRow("a stored range beyond the box is left")
            << "box_MaxDisparity" << none << 99999.0 << 64.0;
    }
    void analysisSettingsAreKeptForTheNextStart()
    {
        QFETCH(QString, box);
        QFETCH(double, value);
        QFETCH(double, stored);
        QFETCH(double, expected);
        const auto valueOf = [&](MainWindow& window) {
            if (auto* real = window.findChild<QDoubleSpinBox*>(box))
                return real->value();
            return double(window.findChild<QSpinBox*>(box)->value());
        };
        {
            MainWindow window;
            if (!qIsNaN(value)) {
                if (auto* real = window.findChild<QDoubleSpinBox*>(box))
                    real->setValue(value);
                else
                    window.findChild<QSpinBox*>(box)->setValue(int(value));
            }
            window.findChild<QCheckBox*>("chb_OutputColored")->setChecked(false);
        }
        if (!qIsNaN(stored))
            QSettings(kOrganizationName, kApplicationName)
                .setValue(QStringLiteral("Disparity/") + box.mid(4), stored);
        MainWindow window;
        QCOMPARE(valueOf(window), expected);
        QVERIFY(!window.findChild<QCheckBox*>("chb_OutputColored")->isChecked());
    }

    void fitRangeSetsTheRangeFromTheLastBudget_data()
    {
        QTest::addColumn<bool>("analysed");
        QTest::addColumn<bool>("reachesNear");
        QTest::addColumn<int>("mapWidth"); // of a 1920-pixel picture
        QTest::addColumn<int>("minDisparity");
        QTest::addColumn<int>("maxDisparity");
        // Budget -1.25 % .. +2.5 %: disparities 24 .. -48 px of the full width.
        QTest::newRow("drawn in to the budget") << true << false << 1920 << -64 << 48;
        QTest::newRow("a live budget, at full width") << true << false << 960 << -64 << 48;
        QTest::newRow("the near end reached: widened") << true << true << 1920 << -64 << 128;
        QTest::newRow("no budget yet: left as it is") << false << false << 1920 << -64 << 64;
    }
    void fitRangeSetsTheRangeFromTheLastBudget()
    {
        QFETCH(bool, analysed);
        QFETCH(bool, reachesNear);
        QFETCH(int, mapWidth);
        MainWindow window;
        if (analysed) {
            auto [left, right] = stereoPair();
            DisparityHistogramInfo analysis;
            // The range searched on the analysed map: -64..64 px of the full width.
            analysis.minDisparity = -64 * mapWidth / 1920;
            analysis.maxDisparity = 64 * mapWidth / 1920;
            analysis.histogram.assign(size_t(analysis.maxDisparity - analysis.minDisparity + 1), 0.5);
            analysis.budget.valid = true;
            analysis.budget.matchedPixels = analysis.budget.pixels = 1000;
            analysis.budget.nearestPercent = -1.25;
            analysis.budget.farthestPercent = 2.5;
            analysis.budget.reachesNearEnd = reachesNear;
            analysis.budget.pictureWidth = 1920;
            analysis.budget.mapWidth = mapWidth;
            ModalAnswerer answerer;
            window.findChild<QCheckBox*>("chb_LiveAnalysis")->setChecked(true);
            MainWindowProbe(window).disparity().onNewLiveDisparityMapResults(left, right, left, analysis);
            window.findChild<QCheckBox*>("chb_LiveAnalysis")->setChecked(false);
        }
        window.findChild<QPushButton*>("btn_FitRange")->click();
        QTEST(window.findChild<QSpinBox*>("box_MinDisparity")->value(), "minDisparity");
        QTEST(window.findChild<QSpinBox*>("box_MaxDisparity")->value(), "maxDisparity");
        const QString said = window.statusBar()->currentMessage();
        QVERIFY2(said.startsWith(analysed ? "Disparity range set to" : "Fit range needs a depth budget"),
                 qPrintable(said));
    }

    void targetScreenIsKeptForTheNextStart()
    {
        QSettings(kOrganizationName, kApplicationName).clear();
        {
            MainWindow window;
            // At first: the cinema screen and adult eyes.
            QCOMPARE(window.findChild<QComboBox*>("cmb_TargetScreen")->currentIndex(), 2);
            QCOMPARE(window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->value(), 12.0);
            QVERIFY(!window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->isEnabled());
            QCOMPARE(window.findChild<QDoubleSpinBox*>("box_EyeSeparation")->value(), 65.0);
            window.findChild<QComboBox*>("cmb_TargetScreen")->setCurrentIndex(3);
            QVERIFY(window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->isEnabled());
            window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->setValue(7.5);
            window.findChild<QDoubleSpinBox*>("box_EyeSeparation")->setValue(62.5);
        }
        {
            MainWindow window;
            QCOMPARE(window.findChild<QComboBox*>("cmb_TargetScreen")->currentIndex(), 3);
            QCOMPARE(window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->value(), 7.5);
            QVERIFY(window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->isEnabled());
            QCOMPARE(window.findChild<QDoubleSpinBox*>("box_EyeSeparation")->value(), 62.5);
            window.findChild<QComboBox*>("cmb_TargetScreen")->setCurrentIndex(0);
        }
        MainWindow window;
        QCOMPARE(window.findChild<QComboBox*>("cmb_TargetScreen")->currentIndex(), 0);
        QCOMPARE(window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->value(), 1.4);
        QVERIFY(!window.findChild<QDoubleSpinBox*>("box_ScreenWidth")->isEnabled());
        QCOMPARE(window.findChild<QDoubleSpinBox*>("box_EyeSeparation")->value(), 62.5);
    }

    void liveAnalysisEndsWithTheTabOrCapture_data()
    {
        QTest::addColumn<int>("leaveFor"); // the tab chosen, or -1 for a capture stop
        QTest::newRow("Acquisition tab") << 0;
        QTest::newRow("Camera Calibration tab") << 1;
        QTest::newRow("capture stopped") << -1;
    }
    void liveAnalysisEndsWithTheTabOrCapture()
    {
        QFETCH(int, leaveFor);
        QTemporaryDir output;
        MainWindow window;
        MainWindowProbe probe(window);
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        tabs->setCurrentIndex(2);
        probe.pipeline().switchTo(FramePipeline::Branch::Disparity); // as with capture running
        window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->setText(output.path());
        window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);
        window.findChild<QSpinBox*>("box_MinDisparity")->setValue(0);
        window.findChild<QSpinBox*>("box_MaxDisparity")->setValue(16);
        window.findChild<QSpinBox*>("box_BlockSize")->setValue(5);
        auto* live = window.findChild<QCheckBox*>("chb_LiveAnalysis");
        auto* budget = window.findChild<QLabel*>("lbl_DepthBudget");
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        ModalAnswerer answerer;

        live->setChecked(true);
        QVERIFY(probe.pipeline().disparityMap()->isLiveAnalysisOn());
        // Pairs come in one after another; each is analysed.
        for (int pair = 0; pair < 2; ++pair) {
            budget->setText(QString());
            const auto [left, right] = stereoPair();
            // Offered until the worker takes one: a pair offered while it is busy is dropped.
            QTRY_VERIFY((probe.pipeline().disparityMap()->onNewInputFramesArrived(left, right),
                         budget->text().startsWith("Live depth budget")));
        }
        QVERIFY2(budget->text().contains("farthest -4.17 % (-4.0 px)"), qPrintable(budget->text()));
        QVERIFY(hasPicture(window.findChild<QLabel*>("lbl_DisparityMapResult")));
        QVERIFY(analyze->isEnabled()); // live results are not the answer to Analyze
        QVERIFY(QDir(output.path()).entryList(QDir::Files).isEmpty()); // and never saved

        if (leaveFor < 0)
            probe.stopCapture();
        else
            tabs->setCurrentIndex(leaveFor);
        QVERIFY(!live->isChecked());
        QVERIFY(!probe.pipeline().disparityMap()->isLiveAnalysisOn());
        QVERIFY(answerer.titles().isEmpty());

        // A live result already on its way is not shown once Live is off.
        budget->setText(QString());
        const auto [left, right] = stereoPair();
        DisparityHistogramInfo late;
        MainWindowProbe(window).disparity().onNewLiveDisparityMapResults(left, right, left, late);
        QVERIFY(budget->text().isEmpty());
    }

    void pipelineEndsLiveAnalysisOffTheDisparityBranch_data()
    {
        QTest::addColumn<int>("branch"); // -1: capture stopped
        QTest::addColumn<bool>("live");
        QTest::newRow("disparity") << int(FramePipeline::Branch::Disparity) << true;
        QTest::newRow("live views") << int(FramePipeline::Branch::LiveViews) << false;
        QTest::newRow("calibration") << int(FramePipeline::Branch::Calibration) << false;
        QTest::newRow("none") << int(FramePipeline::Branch::None) << false;
        QTest::newRow("capture stopped") << -1 << false;
    }
    void pipelineEndsLiveAnalysisOffTheDisparityBranch()
    {
        QFETCH(int, branch);
        QFETCH(bool, live);
        MainWindow window;
        MainWindowProbe probe(window);
        FramePipeline& pipeline = probe.pipeline();
        pipeline.switchTo(FramePipeline::Branch::Disparity);
        pipeline.disparityMap()->startLiveAnalysis(DisparitySettings());
        if (branch < 0)
            pipeline.stopFeeding();
        else
            pipeline.switchTo(FramePipeline::Branch(branch));
        QCOMPARE(pipeline.disparityMap()->isLiveAnalysisOn(), live);
    }

    void chosenDirectoryIsKeptForTheNextStart()
    {
        QSettings(kOrganizationName, kApplicationName).clear();
        const QString chosen = QDir(m_settings.path()).filePath("takes/day 3");
        {
            ScriptedDirectoryWindow window;
            auto* field = window.findChild<QLineEdit*>("lineEdit_disparityOutputDir");
            auto* choose = window.findChild<QToolButton*>("btn_setDisparityOutputDir");
            // The chooser belongs to "Save results", and works while that is on.
            window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);

            // Cancelled: nothing changes.
            choose->click();
            QCOMPARE(window.openedAt, QStringList{QDir::homePath()});
            QCOMPARE(field->text(), QDir::homePath());
            QVERIFY(!QSettings(kOrganizationName, kApplicationName).contains(kDisparityOutputDirKey));

            window.answer = chosen;
            choose->click();
            QCOMPARE(field->text(), chosen);
            QCOMPARE(QSettings(kOrganizationName, kApplicationName).value(kDisparityOutputDirKey).toString(),
                     chosen);

            // The dialog opens where the field points.
            window.answer = QString();
            choose->click();
            QCOMPARE(window.openedAt.last(), chosen);
            QCOMPARE(field->text(), chosen);
        }
        MainWindow next;
        QCOMPARE(next.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->text(), chosen);
        QSettings(kOrganizationName, kApplicationName).clear();
    }
};

QTEST_MAIN(TestDisparityControls)
#include "tst_disparitycontrols.moc"
