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
// Usage: probe_window [seconds] [disparity]   (default 20; "disparity": the third only)

#include "app/mainwindow.h"
#include "pipeline/videoframe.h"
#include "processcpu.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <decklink/virtualcards.h>
#include <map>
#include <mutex>

namespace {

// Counts the debug lines that mark a frame shown in a live view and a board
// detection run, by thread for the detections.
struct LineCounter
{
    std::atomic<long> liveViewFrames{0};
    std::atomic<long> previewPairs{0};
    std::atomic<long> liveAnalyses{0};
    std::atomic<long> sceneMeasurements{0};
    std::mutex mutex;
    std::map<QThread*, long> detections;
    std::map<QThread*, long> busy;

    void reset()
    {
        liveViewFrames = 0;
        previewPairs = 0;
        liveAnalyses = 0;
        sceneMeasurements = 0;
        std::lock_guard<std::mutex> lock(mutex);
        detections.clear();
        busy.clear();
    }
} counter;

void countLines(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.startsWith(QLatin1String("onNewLeftRawFrameArrived")) ||
        message.startsWith(QLatin1String("onNewRightRawFrameArrived"))) {
        ++counter.liveViewFrames;
    } else if (message.startsWith(QLatin1String("onDisparityPreview"))) {
        ++counter.previewPairs;
    } else if (message.startsWith(QLatin1String("DisparityMapThread::run() - ID:")) &&
               message.endsWith(QLatin1String("live"))) {
        ++counter.liveAnalyses;
    } else if (message.startsWith(QLatin1String("SceneThread: matches"))) {
        ++counter.sceneMeasurements;
    } else if (message.startsWith(QLatin1String("Pattern found:"))) {
        std::lock_guard<std::mutex> lock(counter.mutex);
        ++counter.detections[QThread::currentThread()];
    } else if (message.startsWith(QLatin1String("CalibrationThread::onNewInputFrameArrived - BUSY"))) {
        std::lock_guard<std::mutex> lock(counter.mutex);
        ++counter.busy[QThread::currentThread()];
    }
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

DeckLinkDevice* deviceAt(QComboBox* list, int index)
{
    return static_cast<DeckLinkDevice*>(list->itemData(index, Qt::UserRole).value<void*>());
}

struct Delivered
{
    std::atomic<long> frames{0};
    std::atomic<long> multiplesOfFive{0};
};

// Opens the window on two cards in the given mode, starts capture in double
// mode on the given tab and counts for `seconds` after a warm-up.
struct Measurement
{
    long delivered = 0;
    long deliveredMultiplesOfFive = 0;
    long liveViewFrames = 0;
    long previewPairs = 0;
    long liveAnalyses = 0;
    long sceneMeasurements = 0;
    std::map<QThread*, long> detections;
    std::map<QThread*, long> busy;
    double cpu = 0;
    double wall = 0;
};

Measurement measure(const char* signal, int tab, double seconds, bool live = false)
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
                deviceAt(list, list->currentIndex())->notifier(), &DeckLinkDeviceQtNotifier::newFrameArrived,
                &window,
                [&delivered](const VideoFrame& frame) {
                    ++delivered.frames;
                    if (timeLabelFrameNumber(frame) % 5 == 0)
                        ++delivered.multiplesOfFive;
                },
                Qt::DirectConnection);

        window.findChild<QPushButton*>("btn_StartCapture")->click();
        // The tab's route is made by a tab change while capture runs.
        window.findChild<QTabWidget*>("tabWidget")->setCurrentIndex(tab);
        if (live)
            window.findChild<QCheckBox*>("chb_LiveAnalysis")->setChecked(true);
        runFor(2.0); // warm-up
        delivered.frames = 0;
        delivered.multiplesOfFive = 0;
        counter.reset();
        const double cpu0 = processCpuSeconds();
        const double wall0 = wallSeconds();
        runFor(seconds);
        result.cpu = processCpuSeconds() - cpu0;
        result.wall = wallSeconds() - wall0;
        result.delivered = delivered.frames;
        result.deliveredMultiplesOfFive = delivered.multiplesOfFive;
        result.liveViewFrames = counter.liveViewFrames;
        result.previewPairs = counter.previewPairs;
        result.liveAnalyses = counter.liveAnalyses;
        result.sceneMeasurements = counter.sceneMeasurements;
        {
            std::lock_guard<std::mutex> lock(counter.mutex);
            result.detections = counter.detections;
            result.busy = counter.busy;
        }
        window.findChild<QPushButton*>("btn_StartCapture")->click();
    }
    virtualcards::configure("cards: []");
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    qInstallMessageHandler(countLines);
    // The counts come from the pipeline's debug lines, which are off by default.
    QLoggingCategory::setFilterRules(QStringLiteral("duoscope.*.debug=true"));

    const bool disparityOnly = argc > 2 && QByteArray(argv[2]) == "disparity";
    if (!disparityOnly) {
        const Measurement acquisition = measure("Hp50", 0, seconds);
        std::printf("Acquisition, 2 x 1080p50, %.1f s: %ld frames delivered, %ld shown in the live views "
                    "(%.2f%%, target >= 99%%); process CPU %.1f%% of one core (target <= 60%%)\n",
                    acquisition.wall, acquisition.delivered, acquisition.liveViewFrames,
                    acquisition.delivered ? 100.0 * acquisition.liveViewFrames / acquisition.delivered : 0.0,
                    100.0 * acquisition.cpu / acquisition.wall);

        const Measurement calibration = measure("Hp25", 1, seconds);
        long detections = 0;
        for (const auto& [thread, count] : calibration.detections)
            detections += count;
        long busy = 0;
        for (const auto& [thread, count] : calibration.busy)
            busy += count;
        std::printf(
            "Camera Calibration, 2 x 1080p25, %.1f s: %ld frames numbered 0, 5, 10, 15 or 20 delivered, "
            "%ld detections in %zu threads (%.2f per second per camera, target 5.00); %ld frames refused "
            "by a busy calibration worker; %ld scene measurements (%.2f per second, target 5.00); %ld frames "
            "delivered, %ld shown in the live views (%.2f%%, target >= 99%%); process CPU %.1f%% of one "
            "core\n",
            calibration.wall, calibration.deliveredMultiplesOfFive, detections, calibration.detections.size(),
            detections / 2.0 / calibration.wall, busy, calibration.sceneMeasurements,
            calibration.sceneMeasurements / calibration.wall, calibration.delivered,
            calibration.liveViewFrames,
            calibration.delivered ? 100.0 * calibration.liveViewFrames / calibration.delivered : 0.0,
            100.0 * calibration.cpu / calibration.wall);
    }

    const Measurement still = measure("Hp25", 2, seconds, false);
    std::printf(
        "Disparity Map with Live off, 2 x 1080p25, %.1f s: %ld frames delivered, %ld reach the window as "
        "previewed pairs (%.2f%%); process CPU %.1f%% of one core\n",
        still.wall, still.delivered, 2 * still.previewPairs,
        still.delivered ? 100.0 * 2 * still.previewPairs / still.delivered : 0.0,
        100.0 * still.cpu / still.wall);

    const Measurement live = measure("Hp25", 2, seconds, true);
    std::printf(
        "Disparity Map with Live on, 2 x 1080p25, -64..64 scaled to -32..32, block 11, %.1f s: "
        "%ld live analyses (%.2f per second, target >= 5); %ld frames delivered, %ld reach the window "
        "as previewed pairs (%.2f%%, target >= 99%%); process CPU %.1f%% of one core\n",
        live.wall, live.liveAnalyses, live.liveAnalyses / live.wall, live.delivered, 2 * live.previewPairs,
        live.delivered ? 100.0 * 2 * live.previewPairs / live.delivered : 0.0, 100.0 * live.cpu / live.wall);
    return 0;
}
