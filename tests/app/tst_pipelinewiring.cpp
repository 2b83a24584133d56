// The routes of the preprocessed frames as the tabs change, the settings that
// reach both preprocessing threads, and the panels that can be hidden.

#include "common/mainwindowprobe.h"
#include "common/messagelog.h"
#include "common/privatesettings.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>
#include <functional>

namespace {

// Stands for a capture card's notifier.
class CardStandIn : public QObject
{
    Q_OBJECT
signals:
    void newFrameArrived(VideoFrame frame);
};

// A small textured frame. Its frames byte is always a multiple of 5, so both
// calibration threads analyse it, and its label is new for every n below 300.
VideoFrame numberedFrame(int n)
{
    VideoFrame frame;
    frame.image = cv::Mat(36, 64, CV_8UC3);
    cv::randu(frame.image, 0, 255);
    frame.timecodeFormat = 1;
    frame.timecode = packTimeWord(0, 0, uint32_t(n / 5 % 60), uint32_t(n % 5 * 5));
    return frame;
}

bool hasPicture(const QLabel* label)
{
    return !label->pixmap(Qt::ReturnByValue).isNull();
}

// Connections of the pipeline's signals, in the order: the left and right
// preprocessing results, the left and right calibration results, the
// synchronised pairs, the disparity results, the disparity failures and the
// scene results.
QVector<int> routeCounts(const FramePipeline& pipeline)
{
    using Side = FramePipeline::Side;
    return {
        ReceiverCount::of(pipeline.preprocessing(Side::Left), SIGNAL(newProcessingResults(VideoFrame))),
        ReceiverCount::of(pipeline.preprocessing(Side::Right), SIGNAL(newProcessingResults(VideoFrame))),
        ReceiverCount::of(
            pipeline.calibration(Side::Left),
            SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>))),
        ReceiverCount::of(
            pipeline.calibration(Side::Right),
            SIGNAL(newCalibrationResults(VideoFrame, VideoFrame, std::vector<DetectedRectangle>))),
        ReceiverCount::of(pipeline.synchronization(), SIGNAL(newSynchronizedFrames(VideoFrame, VideoFrame))),
        ReceiverCount::of(
            pipeline.disparityMap(),
            SIGNAL(newDisparityMapResults(VideoFrame, VideoFrame, VideoFrame, DisparityHistogramInfo))),
        ReceiverCount::of(pipeline.disparityMap(), SIGNAL(disparityMapFailed(QString))),
        ReceiverCount::of(pipeline.scene(),
                          SIGNAL(newSceneResults(VideoFrame, VideoFrame, SceneMeasurement)))};
}

// The motion offset estimate takes every preprocessed frame, whatever the
// branch: one receiver of each side's results beside those of the route.
const QVector<int> kNoRoute{1, 1, 0, 0, 0, 0, 0, 0};
const QVector<int> kLiveViewRoute{2, 2, 0, 0, 0, 0, 0, 0};
// The preprocessed frames go to the board detection and to the scene measurement.
const QVector<int> kCalibrationRoute{3, 3, 1, 1, 0, 0, 0, 1};
const QVector<int> kDisparityRoute{2, 2, 0, 0, 2, 1, 1, 0};

// Which analysis threads run: left and right calibration, synchronisation, disparity.
QVector<bool> analysisRunning(const FramePipeline& pipeline)
{
    return {pipeline.calibration(FramePipeline::Side::Left)->isRunning(),
            pipeline.calibration(FramePipeline::Side::Right)->isRunning(),
            pipeline.synchronization()->isRunning(), pipeline.disparityMap()->isRunning()};
}

// The left (camera 0) or right half of a side-by-side frame, turned and flipped.
cv::Mat expectedView(const cv::Mat& frame, int camera, const FrameTransform& transform)
{
    const int half = frame.cols / 2;
    cv::Mat view = frame.colRange(camera == 0 ? 0 : half, camera == 0 ? half : 2 * half).clone();
    applyTransform(view, transform);
    return view;
}

bool samePicture(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

const char* const kSettingsButtons[] = {
    "rbn_SingleInput",         "rbn_DoubleInput",          "radio_Identical",        "radio_SideBySide",
    "radio_UnderOver",         "sett_LeftRotateLeft",      "sett_LeftRotateRight",   "sett_LeftRotate180",
    "sett_LeftFlipHorizontal", "sett_LeftFlipVertical",    "sett_RightRotateLeft",   "sett_RightRotateRight",
    "sett_RightRotate180",     "sett_RightFlipHorizontal", "sett_RightFlipVertical", "chb_FullSizeHalves"};

} // namespace

class TestPipelineWiring : public QObject
{
    Q_OBJECT

    PrivateSettings m_settings;
    int m_nextFrame = 0;

    // Offers frames one at a time until done() holds (or five seconds pass).
    bool feedUntil(CardStandIn& card, const std::function<bool()>& done)
    {
        for (int i = 0; i < 250 && !done(); ++i) {
            emit card.newFrameArrived(numberedFrame(m_nextFrame++ % 300));
            QTest::qWait(20);
        }
        return done();
    }

    // What a capture start in single-input mode leaves behind: the card
    // feeding both preprocessing threads, their results routed to the live views.
    static void startCapture(const CardStandIn& card, FramePipeline& pipeline)
    {
        pipeline.feed(FramePipeline::Side::Left, &card);
        pipeline.feed(FramePipeline::Side::Right, &card);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QLoggingCategory::setFilterRules("default.debug=false");
    }

    void tabChangesWithoutCaptureChangeNothing()
    {
        MainWindow window;
        const FramePipeline& pipeline = MainWindowProbe(window).pipeline();
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        QLoggingCategory::setFilterRules("duoscope.window.debug=true");
        MessageLog log;
        for (int index : {1, 2, 0, 2, 1}) {
            tabs->setCurrentIndex(index);
            QCOMPARE(routeCounts(pipeline), kNoRoute);
            QCOMPARE(analysisRunning(pipeline), QVector<bool>(4, false));
            QVERIFY(!pipeline.preprocessing(FramePipeline::Side::Left)->isRunning());
            QVERIFY(!pipeline.preprocessing(FramePipeline::Side::Right)->isRunning());
        }
        QLoggingCategory::setFilterRules("default.debug=false");
        QCOMPARE(log.lines(), (QStringList() << "ON_TABWIDGET_CURRENTCHANGED"
                                             << "ON_TABWIDGET_CURRENTCHANGED"
                                             << "ON_TABWIDGET_CURRENTCHANGED"
                                             << "ON_TABWIDGET_CURRENTCHANGED"
                                             << "ON_TABWIDGET_CURRENTCHANGED"));
    }

    void routesFollowTheTab()
    {
        // Declared before the window: its workers report into them until it is gone.
        QMutex eventsMutex;
        QStringList events;
        MainWindow window;
        FramePipeline& pipeline = MainWindowProbe(window).pipeline();
        CardStandIn card;
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        auto label = [&](const char* name) { return window.findChild<QLabel*>(name); };
        auto note = [&](const QString& event) {
            QMutexLocker lock(&eventsMutex);
            events << event;
        };
        for (FramePipeline::Side side : {FramePipeline::Side::Left, FramePipeline::Side::Right})
            connect(pipeline.calibration(side), &QThread::finished, [&] { note("calibration finished"); });
        connect(pipeline.synchronization(), &QThread::started, [&] { note("synchronization started"); });
        connect(pipeline.disparityMap(), &QThread::started, [&] { note("disparity started"); });

        startCapture(card, pipeline);
        QCOMPARE(routeCounts(pipeline), kLiveViewRoute);
        QVERIFY(feedUntil(card, [&] {
            return hasPicture(label("lbl_ImageLiveLeft")) && hasPicture(label("lbl_ImageLiveRight"));
        }));

        // Camera Calibration: the live views keep their last pictures and get no more.
        tabs->setCurrentIndex(1);
        QCOMPARE(routeCounts(pipeline), kCalibrationRoute);
        QCOMPARE(analysisRunning(pipeline), (QVector<bool>{true, true, false, false}));
        QCoreApplication::processEvents(); // frames already on their way to the live views
        label("lbl_ImageLiveLeft")->clear();
        label("lbl_ImageLiveRight")->clear();
        QVERIFY(feedUntil(card, [&] {
            return hasPicture(label("lbl_ImageProcessedLeft")) &&
                   hasPicture(label("lbl_ImageProcessedRight"));
        }));
        QVERIFY(!hasPicture(label("lbl_ImageLiveLeft")));
        QVERIFY(!hasPicture(label("lbl_ImageLiveRight")));

        // Disparity Map: both calibration threads have stopped before the
        // synchronisation and disparity threads start.
        tabs->setCurrentIndex(2);
        QCOMPARE(routeCounts(pipeline), kDisparityRoute);
        QCOMPARE(analysisRunning(pipeline), (QVector<bool>{false, false, true, true}));
        auto eventCount = [&] {
            QMutexLocker lock(&eventsMutex);
            return events.size();
        };
        QTRY_COMPARE(eventCount(), 4);
        {
            QMutexLocker lock(&eventsMutex);
            QCOMPARE(events.mid(0, 2), (QStringList{"calibration finished", "calibration finished"}));
            QVERIFY(events.contains("synchronization started"));
            QVERIFY(events.contains("disparity started"));
        }
        QCoreApplication::processEvents();
        label("lbl_ImageProcessedLeft")->clear();
        label("lbl_ImageProcessedRight")->clear();
        QVERIFY(feedUntil(card, [&] {
            return hasPicture(label("lbl_DisparityLivePreviewLeft")) &&
                   hasPicture(label("lbl_DisparityLivePreviewRight"));
        }));
        QVERIFY(!hasPicture(label("lbl_ImageProcessedLeft")));
        QVERIFY(!hasPicture(label("lbl_ImageLiveLeft")));

        // Back to Acquisition: the live views again, every analysis thread stopped.
        tabs->setCurrentIndex(0);
        QCOMPARE(routeCounts(pipeline), kLiveViewRoute);
        QCOMPARE(analysisRunning(pipeline), QVector<bool>(4, false));
        QVERIFY(feedUntil(card, [&] {
            return hasPicture(label("lbl_ImageLiveLeft")) && hasPicture(label("lbl_ImageLiveRight"));
        }));
    }

    // However the tabs are visited, each route exists once and only the threads of the current tab run.
    void eachRouteIsMadeOnce()
    {
        MainWindow window;
        FramePipeline& pipeline = MainWindowProbe(window).pipeline();
        CardStandIn card;
        startCapture(card, pipeline);
        auto* tabs = window.findChild<QTabWidget*>("tabWidget");
        const QVector<int> routes[] = {kLiveViewRoute, kCalibrationRoute, kDisparityRoute};
        const QVector<bool> running[] = {
            {false, false, false, false}, {true, true, false, false}, {false, false, true, true}};
        for (int index : {1, 2, 1, 0, 2, 0, 1, 2, 2, 0}) {
            // Choosing the current tab again is no change of tab.
            tabs->setCurrentIndex(index);
            QCOMPARE(routeCounts(pipeline), routes[index]);
            QCOMPARE(analysisRunning(pipeline), running[index]);
        }
    }

    // Starting capture makes the live-view route whatever tab is shown; the
    // calibration threads wait for the next change of tab.
    void captureStartedOnTheCalibrationTabFeedsTheLiveViews()
    {
        MainWindow window;
        FramePipeline& pipeline = MainWindowProbe(window).pipeline();
        CardStandIn card;
        window.findChild<QTabWidget*>("tabWidget")->setCurrentIndex(1);
        startCapture(card, pipeline);
        QCOMPARE(routeCounts(pipeline), kLiveViewRoute);
        QCOMPARE(analysisRunning(pipeline), QVector<bool>(4, false));
        QVERIFY(feedUntil(card, [&] { return hasPicture(window.findChild<QLabel*>("lbl_ImageLiveRight")); }));
    }

    // Each of the sixteen buttons makes the window send the whole settings
    // record, as the form shows it, to both preprocessing threads.
    void everySettingsButtonSendsTheWholeRecord_data()
    {
        QTest::addColumn<QString>("button");
        for (const char* name : kSettingsButtons)
            QTest::newRow(name) << QString(name);
    }
    void everySettingsButtonSendsTheWholeRecord()
    {
        QFETCH(QString, button);
        MainWindow window;
        FramePipeline& pipeline = MainWindowProbe(window).pipeline();
        ImgPreprocessingThread* const threads[] = {pipeline.preprocessing(FramePipeline::Side::Left),
                                                   pipeline.preprocessing(FramePipeline::Side::Right)};
        auto form = [&](const char* name) { return window.findChild<QAbstractButton*>(name); };

        // The form changed without telling anyone: both threads keep the
        // settings of the start (Identical, nothing turned or flipped).
        for (const char* name : kSettingsButtons)
            form(name)->blockSignals(true);
        form("radio_SideBySide")->setChecked(true);
        // Halves of two full-size pictures: cut, not scaled.
        form("chb_FullSizeHalves")->setChecked(false);
        for (const char* name : {"sett_LeftRotateLeft", "sett_LeftFlipHorizontal", "sett_RightRotate180",
                                 "sett_RightFlipVertical"})
            form(name)->setChecked(true);
        for (const char* name : kSettingsButtons)
            form(name)->blockSignals(false);

        QObject receiver;
        QVector<cv::Mat> outputs(2);
        for (int camera = 0; camera < 2; ++camera)
            connect(threads[camera], &ImgPreprocessingThread::newProcessingResults, &receiver,
                    [&outputs, camera](VideoFrame frame) { outputs[camera] = frame.image; });
        // The threads run, as during capture, when the button is toggled.
        for (ImgPreprocessingThread* thread : threads)
            thread->start();
        QAbstractButton* toggled = form(button.toLatin1().constData());
        QVERIFY(QMetaObject::invokeMethod(toggled, "toggled", Q_ARG(bool, toggled->isChecked())));

        cv::Mat picture(6, 16, CV_8UC3);
        cv::randu(picture, 0, 255);
        // The threads flip halves of the captured picture in place: they get a copy.
        VideoFrame frame;
        frame.image = picture.clone();
        for (ImgPreprocessingThread* thread : threads)
            thread->onNewInputFrameArrived(frame);
        QTRY_VERIFY(!outputs[0].empty() && !outputs[1].empty());

        FrameTransform left;
        left.rotateLeft = left.flipHorizontal = true;
        FrameTransform right;
        right.rotate180 = right.flipVertical = true;
        QVERIFY(samePicture(outputs[0], expectedView(picture, 0, left)));
        QVERIFY(samePicture(outputs[1], expectedView(picture, 1, right)));
    }

    void hiddenPanelsGiveTheirRoomToTheDisparityMap()
    {
        MainWindow window;
        const QStyle* style = window.style();
        const QImage shownIcon = style->standardIcon(QStyle::SP_DialogYesButton).pixmap(128).toImage();
        const QImage hiddenIcon = style->standardIcon(QStyle::SP_DialogNoButton).pixmap(128).toImage();
        QVERIFY(shownIcon != hiddenIcon);
        auto icon = [&](const char* button) {
            return window.findChild<QAbstractButton*>(button)->icon().pixmap(128).toImage();
        };
        auto click = [&](const char* button) { window.findChild<QAbstractButton*>(button)->click(); };
        auto hidden = [&](const char* panel) { return window.findChild<QWidget*>(panel)->isHidden(); };
        auto stretch = [&] {
            return window.findChild<QFrame*>("frm_DisparityImgOutput")->sizePolicy().verticalStretch();
        };

        for (const char* button : {"btn_CalibrationDetailsShowHide", "btn_DisparityDetailsShowHide",
                                   "btn_DisparityPreviewShowHide"})
            QCOMPARE(icon(button), shownIcon);
        const int start = stretch();

        click("btn_DisparityDetailsShowHide");
        QVERIFY(hidden("tab_DisparityDetails"));
        QCOMPARE(icon("btn_DisparityDetailsShowHide"), hiddenIcon);
        QCOMPARE(stretch(), start + 1);
        click("btn_DisparityPreviewShowHide");
        QVERIFY(hidden("frm_DisparityLiveView"));
        QCOMPARE(icon("btn_DisparityPreviewShowHide"), hiddenIcon);
        QCOMPARE(stretch(), start + 2);

        click("btn_DisparityDetailsShowHide");
        QVERIFY(!hidden("tab_DisparityDetails"));
        QCOMPARE(icon("btn_DisparityDetailsShowHide"), shownIcon);
        QCOMPARE(stretch(), start + 1);
        click("btn_DisparityPreviewShowHide");
        QVERIFY(!hidden("frm_DisparityLiveView"));
        QCOMPARE(icon("btn_DisparityPreviewShowHide"), shownIcon);
        QCOMPARE(stretch(), start);

        // The calibration panel changes nothing on the disparity tab.
        click("btn_CalibrationDetailsShowHide");
        QVERIFY(hidden("frm_ProcessedView"));
        QCOMPARE(icon("btn_CalibrationDetailsShowHide"), hiddenIcon);
        QCOMPARE(stretch(), start);
        click("btn_CalibrationDetailsShowHide");
        QVERIFY(!hidden("frm_ProcessedView"));
        QCOMPARE(icon("btn_CalibrationDetailsShowHide"), shownIcon);
    }
};

QTEST_MAIN(TestPipelineWiring)
#include "tst_pipelinewiring.moc"
