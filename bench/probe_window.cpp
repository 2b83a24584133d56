// The real window, offscreen, on virtual cards, measured as a crew would run it:
//
// 1. Acquisition tab, two genlocked 1080p50 cards in double mode for 20 s:
//    the share of the frames delivered by the cards that reach the live views,
//    and the processor time of the whole process in percent of one core.
// 2. Camera Calibration tab, two genlocked 1080p25 cards for 20 s: board
//    detections per second per camera, beside the frames that should be
//    analysed (time-label frame numbers 0, 5, 10, 15 and 20), scene
//    measurements per second and the share of the frames shown in the live views.
// 3. Disparity Map tab, two genlocked 1080p25 cards for 20 s, with Live off
//    and then on: live analyses per second (-64..64 scaled to -32..32, block
//    11), and the share of the frames delivered by the cards that reach the
//    window as previewed pairs.
//
// Each measurement also gives the frames counted at every stage on the way to
// the screen (delivered by the cards, taken and handed on by each worker,
// reaching the window, painted), so a loss shows where it happens, and the
// machine's load average at its start and end.
//
// 1 runs once with the cameras' offset estimated from motion, as the window
// does, and once with the motion estimate cut off, to see what it costs capture.
//
// Usage: probe_window [seconds] [acquisition|calibration|disparity]
//        (default 20 s, all three)

#include "app/framepipeline.h"
#include "app/mainwindow.h"
#include "capture/cardlistmodel.h"
#include "pipeline/heapsettings.h"
#include "pipeline/videoframe.h"
#include "processcpu.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <decklink/virtualcards.h>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The stages a frame passes, each known by the debug line its pipeline step
// writes (category and beginning of the line) and how many frames one line
// stands for.
struct Stage
{
    const char* name;
    const char* category;
    const char* line;
    int frames;
};

const Stage stages[] = {
    {"taken by preprocessing", "duoscope.preprocessing", "onNewInputFrameArrived - frame.data", 1},
    {"preprocessed", "duoscope.preprocessing", "ImgProcessingThread::run()", 1},
    {"reached the left live view", "duoscope.window", "onNewLeftRawFrameArrived", 1},
    {"reached the right live view", "duoscope.window", "onNewRightRawFrameArrived", 1},
    {"taken by calibration", "duoscope.calibration", "CalibrationThread::onNewInputFrameArrived - frame", 1},
    {"refused by a busy calibration worker", "duoscope.calibration",
     "CalibrationThread::onNewInputFrameArrived - BUSY", 1},
    {"detections run", "duoscope.calibration", "Pattern found:", 1},
    {"left results reached the window", "duoscope.window", "onNewLeftCalibrationResultsArrived", 1},
    {"right results reached the window", "duoscope.window", "onNewRightCalibrationResultsArrived", 1},
    {"offered for pairing", "duoscope.synchronization", "SynchronizationThread::onNew", 1},
    {"paired", "duoscope.synchronization", "SynchronizationThread::run()", 2},
    {"reached the preview as pairs", "duoscope.window", "onDisparityPreview", 2},
    {"taken by the disparity worker (pairs)", "duoscope.disparity",
     "DisparityMapThread::onNewInputFrameArrived - frame", 1},
    {"refused by a busy disparity worker (pairs)", "duoscope.disparity",
     "DisparityMapThread::onNewInputFrameArrived - BUSY", 1},
};
constexpr size_t stageCount = sizeof(stages) / sizeof(stages[0]);

// Counts the frames at each stage, the live analyses, and the board
// detections by thread.
struct LineCounter
{
    std::atomic<long> atStage[stageCount] = {};
    std::atomic<long> liveAnalyses{0};
    std::atomic<long> sceneMeasurements{0};
    std::mutex mutex;
    std::map<QThread*, long> detections;

    void reset()
    {
        for (auto& count : atStage)
            count = 0;
        liveAnalyses = 0;
        sceneMeasurements = 0;
        std::lock_guard<std::mutex> lock(mutex);
        detections.clear();
    }
} counter;

void countLines(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    const char* category = context.category ? context.category : "";
    for (size_t i = 0; i < stageCount; ++i)
        if (std::strcmp(category, stages[i].category) == 0 &&
            message.startsWith(QLatin1String(stages[i].line)))
            counter.atStage[i] += stages[i].frames;
    if (message.startsWith(QLatin1String("DisparityMapThread::run() - ID:")) &&
        message.endsWith(QLatin1String("live")))
        ++counter.liveAnalyses;
    if (message.startsWith(QLatin1String("SceneThread: matches")))
        ++counter.sceneMeasurements;
    if (message.startsWith(QLatin1String("Pattern found:"))) {
        std::lock_guard<std::mutex> lock(counter.mutex);
        ++counter.detections[QThread::currentThread()];
    }
}

// Counts the paints of the picture views that a tab shows.
class PaintCounter : public QObject
{
public:
    std::atomic<long> paints{0};
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The load averages over 1, 5 and 15 minutes, as uptime gives them.
std::string loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() >= 3 ? (fields[0] + " " + fields[1] + " " + fields[2]).toStdString() : "unknown";
}

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

void runFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// The card chosen in an input list: every list shows the window's one card model.
DeckLinkDevice* chosenCard(QComboBox* list)
{
    return static_cast<const CardListModel*>(list->model())->device(list->currentIndex());
}

struct Delivered
{
    std::atomic<long> frames{0};
    std::atomic<long> multiplesOfFive{0};
};

// Opens the window on two cards in the given mode, starts capture in double
// mode on the given tab and counts for `seconds` after a warm-up. The window
// is shown, so the views are painted as on a screen; their paints are counted.
struct Measurement
{
    long delivered = 0;
    long deliveredMultiplesOfFive = 0;
    long atStage[stageCount] = {};
    long paints = 0;
    long liveAnalyses = 0;
    long sceneMeasurements = 0;
    std::map<QThread*, long> detections;
    long motionEstimates = 0;
    double cpu = 0;
    double wall = 0;
    std::string loadBefore, loadAfter;

    long at(const char* name) const
    {
        for (size_t i = 0; i < stageCount; ++i)
            if (std::strcmp(stages[i].name, name) == 0)
                return atStage[i];
        return 0;
    }
    double percentOfDelivered(long frames) const { return delivered ? 100.0 * frames / delivered : 0.0; }
};

Measurement measure(const char* signal, int tab, double seconds, const std::vector<const char*>& views,
                    bool live = false, bool motionOffset = true)
{
    const QByteArray configuration = QByteArray(R"(
rig:
  right: { zoom: 1.01, roll: 0.3, vertical: 2 }
cards:
  - { name: "Left", signal: )") + signal +
                                     R"(, genlock: rig, source: { kind: rig, view: left } }
  - { name: "Right", signal: )" + signal +
                                     R"(, genlock: rig, source: { kind: rig, view: right } }
)";
    std::string error;
    if (!virtualcards::configure(configuration.constData(), &error))
        qFatal("virtual cards: %s", error.c_str());

    Measurement result;
    {
        MainWindow window;
        window.show();
        auto* left = window.findChild<QComboBox*>("cmb_LeftCameraInput");
        auto* right = window.findChild<QComboBox*>("cmb_RightCameraInput");
        while (left->count() < 2)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window.findChild<QRadioButton*>("rbn_DoubleInput")->setChecked(true);
        left->setCurrentIndex(0);
        right->setCurrentIndex(1);

        Delivered delivered;
        for (QComboBox* list : {left, right})
            QObject::connect(
                chosenCard(list)->notifier(), &DeckLinkDeviceQtNotifier::newFrameArrived, &window,
                [&delivered](const VideoFrame& frame) {
                    ++delivered.frames;
                    if (timeLabelFrameNumber(frame) % 5 == 0)
                        ++delivered.multiplesOfFive;
                },
                Qt::DirectConnection);
        FramePipeline* pipeline = window.findChild<FramePipeline*>();
        std::atomic<long> motionEstimates{0};
        QObject::connect(
            pipeline->motionOffset(), &MotionOffsetThread::offsetEstimated, &window,
            [&motionEstimates](const MotionOffset&) { ++motionEstimates; }, Qt::DirectConnection);
        if (!motionOffset)
            for (auto side : {FramePipeline::Side::Left, FramePipeline::Side::Right})
                QObject::disconnect(pipeline->preprocessing(side),
                                    &ImgPreprocessingThread::newProcessingResults, pipeline->motionOffset(),
                                    nullptr);
        PaintCounter painted;
        for (const char* view : views)
            window.findChild<QLabel*>(view)->installEventFilter(&painted);

        window.findChild<QPushButton*>("btn_StartCapture")->click();
        // The tab's route is made by a tab change while capture runs.
        window.findChild<QTabWidget*>("tabWidget")->setCurrentIndex(tab);
        if (live)
            window.findChild<QCheckBox*>("chb_LiveAnalysis")->setChecked(true);
        runFor(2.0); // warm-up
        delivered.frames = 0;
        delivered.multiplesOfFive = 0;
        painted.paints = 0;
        counter.reset();
        result.loadBefore = loadAverage();
        const double cpu0 = processCpuSeconds();
        const double wall0 = wallSeconds();
        runFor(seconds);
        result.cpu = processCpuSeconds() - cpu0;
        result.wall = wallSeconds() - wall0;
        result.loadAfter = loadAverage();
        result.delivered = delivered.frames;
        result.deliveredMultiplesOfFive = delivered.multiplesOfFive;
        for (size_t i = 0; i < stageCount; ++i)
            result.atStage[i] = counter.atStage[i];
        result.paints = painted.paints;
        result.motionEstimates = motionEstimates;
        result.liveAnalyses = counter.liveAnalyses;
        result.sceneMeasurements = counter.sceneMeasurements;
        {
            std::lock_guard<std::mutex> lock(counter.mutex);
            result.detections = counter.detections;
        }
        window.findChild<QPushButton*>("btn_StartCapture")->click();
        for (const char* view : views)
            window.findChild<QLabel*>(view)->removeEventFilter(&painted);
    }
    virtualcards::configure("cards: []");
    return result;
}

// The frames at each stage that the measurement passed through, in percent of
// those delivered, the paints of its views, and the load around it.
void printStages(const Measurement& m, const std::vector<const char*>& names)
{
    std::printf("  stages: %ld delivered by the cards", m.delivered);
    for (const char* name : names)
        std::printf("; %ld %s (%.2f%%)", m.at(name), name, m.percentOfDelivered(m.at(name)));
    std::printf("; %ld paints of the views (%.2f%% of the frames delivered)\n", m.paints,
                m.percentOfDelivered(m.paints));
    std::printf("  load average (1, 5, 15 min) before %s, after %s\n", m.loadBefore.c_str(),
                m.loadAfter.c_str());
}

} // namespace

int main(int argc, char* argv[])
{
    // As the program does.
    keepPicturesInHeap();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    qInstallMessageHandler(countLines);
    // The counts come from the pipeline's debug lines, which are off by default.
    QLoggingCategory::setFilterRules(QStringLiteral("duoscope.*.debug=true"));
    std::printf("Platform %s\n", qPrintable(QGuiApplication::platformName()));

    if (only.isEmpty() || only == "acquisition") {
        for (bool motionOffset : {true, false}) {
            const Measurement m =
                measure("Hp50", 0, seconds, {"lbl_ImageLiveLeft", "lbl_ImageLiveRight"}, false, motionOffset);
            const long shown = m.at("reached the left live view") + m.at("reached the right live view");
            std::printf(
                "Acquisition, 2 x 1080p50, %s, %.1f s: %ld frames delivered, %ld shown in the live "
                "views (%.2f%%, target >= 99%%); %ld offset estimates from motion; process CPU %.1f%% "
                "of one core\n",
                motionOffset ? "offset from motion on" : "offset from motion cut off", m.wall, m.delivered,
                shown, m.percentOfDelivered(shown), m.motionEstimates, 100.0 * m.cpu / m.wall);
            printStages(m, {"taken by preprocessing", "preprocessed", "reached the left live view",
                            "reached the right live view"});
        }
    }

    if (only.isEmpty() || only == "calibration") {
        const Measurement m =
            measure("Hp25", 1, seconds, {"lbl_ImageProcessedLeft", "lbl_ImageProcessedRight"});
        long detections = 0;
        for (const auto& [thread, count] : m.detections)
            detections += count;
        std::printf(
            "Camera Calibration, 2 x 1080p25, %.1f s: %ld frames numbered 0, 5, 10, 15 or 20 delivered, "
            "%ld detections in %zu threads (%.2f per second per camera, target 5.00); %ld scene "
            "measurements (%.2f per second, target 5.00); process CPU %.1f%% of one core\n",
            m.wall, m.deliveredMultiplesOfFive, detections, m.detections.size(), detections / 2.0 / m.wall,
            m.sceneMeasurements, m.sceneMeasurements / m.wall, 100.0 * m.cpu / m.wall);
        printStages(m, {"taken by preprocessing", "preprocessed", "taken by calibration",
                        "refused by a busy calibration worker", "detections run",
                        "left results reached the window", "right results reached the window"});
    }

    if (only.isEmpty() || only == "disparity") {
        const std::vector<const char*> previews = {"lbl_DisparityLivePreviewLeft",
                                                   "lbl_DisparityLivePreviewRight"};
        const std::vector<const char*> names = {"taken by preprocessing",
                                                "preprocessed",
                                                "offered for pairing",
                                                "paired",
                                                "reached the preview as pairs",
                                                "taken by the disparity worker (pairs)",
                                                "refused by a busy disparity worker (pairs)"};
        const Measurement still = measure("Hp25", 2, seconds, previews, false);
        const long previewed = still.at("reached the preview as pairs");
        std::printf(
            "Disparity Map with Live off, 2 x 1080p25, %.1f s: %ld frames delivered, %ld reach the window "
            "as previewed pairs (%.2f%%, target >= 99%%); process CPU %.1f%% of one core\n",
            still.wall, still.delivered, previewed, still.percentOfDelivered(previewed),
            100.0 * still.cpu / still.wall);
        printStages(still, names);

        const Measurement live = measure("Hp25", 2, seconds, previews, true);
        const long livePreviewed = live.at("reached the preview as pairs");
        std::printf("Disparity Map with Live on, 2 x 1080p25, -64..64 scaled to -32..32, block 11, %.1f s: "
                    "%ld live analyses (%.2f per second, target >= 5); %ld frames delivered, %ld reach the "
                    "window as previewed pairs (%.2f%%, target >= 99%%); process CPU %.1f%% of one core\n",
                    live.wall, live.liveAnalyses, live.liveAnalyses / live.wall, live.delivered,
                    livePreviewed, live.percentOfDelivered(livePreviewed), 100.0 * live.cpu / live.wall);
        printStages(live, names);
    }
    return 0;
}
