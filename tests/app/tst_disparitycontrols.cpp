// The disparity tab as the user drives it: the settings check, the request
// and the button that waits for its answer, the preview, the results with
// their histogram and PNG files, and the output directory.

#include "app/appnames.h"
#include "common/mainwindowprobe.h"
#include "common/messagelog.h"
#include "common/modalanswerer.h"
#include "common/privatesettings.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <qwt_plot.h>
#include <qwt_plot_histogram.h>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

const QString kMinimumMessage = "Wrong value of minimum disparity\nShould be divisible by 16";
const QString kMaximumMessage = "Wrong value of maximum disparity\nShould be divisible by 16";
const QString kBlockSizeMessage = "Wrong value of block size\nShould be an odd number";
const QString kOrderMessage =
    "Wrong value of maximum disparity\nShould be greater than the minimum disparity";

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
        QLoggingCategory::setFilterRules("default.debug=true");
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
                                                    "ds_camera_calibrator_010_20_30_12_map.png"};
        QTest::newRow("5:7:0:3, grey map")
            << 1u << packTimeWord(5, 7, 0, 3) << packTimeWord(5, 7, 0, 3) << grey
            << QStringList{"ds_camera_calibrator_005_07_00_03_L.png",
                           "ds_camera_calibrator_005_07_00_03_R.png",
                           "ds_camera_calibrator_005_07_00_03_map.png"};
        // Without a timecode the hardware reference time names the files.
        QTest::newRow("no timecode") << 0u << packTimeWord(1, 2, 3, 4) << packTimeWord(1, 2, 3, 4) << coloured
                                     << QStringList{"ds_camera_calibrator_001_02_03_04_L.png",
                                                    "ds_camera_calibrator_001_02_03_04_R.png",
                                                    "ds_camera_calibrator_001_02_03_04_map.png"};
        QTest::newRow("each picture its own label")
            << 1u << packTimeWord(0, 0, 1, 2) << packTimeWord(0, 0, 1, 3) << coloured
            << QStringList{"ds_camera_calibrator_000_00_01_02_L.png",
                           "ds_camera_calibrator_000_00_01_03_R.png",
                           "ds_camera_calibrator_000_00_01_02_map.png"};
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
        window.onNewDisparityMapResults(frames[0], frames[1], frames[2], DisparityHistogramInfo());
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
            MainWindow::showImage(written, view);
            QCOMPARE(shown(view), onScreen);
        }
    }

    void aDirectoryThatCannotBeWrittenGivesOneBoxPerFile()
    {
        QTemporaryDir parent;
        MainWindow window;
        window.findChild<QLineEdit*>("lineEdit_disparityOutputDir")->setText(parent.filePath("missing"));
        window.findChild<QGroupBox*>("grp_SaveResults")->setChecked(true);
        auto* analyze = window.findChild<QPushButton*>("btn_calcDisparityMap");
        analyze->setEnabled(false);
        auto [left, right] = stereoPair();
        VideoFrame map = left;
        map.image = texture(cv::Size(96, 64), CV_8UC1, 3);

        ModalAnswerer answerer;
        window.onNewDisparityMapResults(left, right, map, DisparityHistogramInfo());
        QCOMPARE(answerer.titles(), QStringList(QVector<QString>(3, "Write error").toList()));
        QCOMPARE(answerer.texts(),
                 QStringList(QVector<QString>(3, "Cannot write results of disparity analysis").toList()));
        QVERIFY(analyze->isEnabled());
        QVERIFY(hasPicture(window.findChild<QLabel*>("lbl_DisparityMapResult")));
        QVERIFY(!QDir(parent.filePath("missing")).exists());
    }

    void livePreviewShowsEveryPair()
    {
        MainWindow window;
        VideoFrame left;
        left.image = cv::Mat(36, 64, CV_8UC3, cv::Scalar(0, 0, 200));
        VideoFrame right;
        right.image = cv::Mat(36, 64, CV_8UC3, cv::Scalar(200, 0, 0));
        window.onDisparityPreview(left, right);
        QCOMPARE(shown(window.findChild<QLabel*>("lbl_DisparityLivePreviewLeft")).pixel(5, 5),
                 qRgb(200, 0, 0));
        QCOMPARE(shown(window.findChild<QLabel*>("lbl_DisparityLivePreviewRight")).pixel(5, 5),
                 qRgb(0, 0, 200));
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
