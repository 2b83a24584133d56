// The pipeline's worker threads. A preprocessing worker handling 1080p frames
// that arrive one at a time (each offered once the previous one is handled),
// beside the OpenCV routines that bound each layout; the same worker fed at
// 60 frames per second for 3 s, counting the frames handled; and the
// processor time of the six workers started with no frames, over 3 s.
//
// Layouts: 0 Identical (a copy), 1 Side by Side with a horizontal flip (a half
// flipped in place), 2 Double turned left (transpose and flip), 3 Identical
// turned left (copy, transpose and flip).

#include "calibration/calibrationthread.h"
#include "common/workerprobe.h"
#include "disparity/disparitymapthread.h"
#include "disparity/synchronizationthread.h"
#include "preprocessing/imgpreprocessingthread.h"
#include "processcpu.h"

#include <QSemaphore>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <memory>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

VideoFrame fullHdFrame()
{
    VideoFrame frame;
    frame.image = cv::Mat(1080, 1920, CV_8UC3);
    cv::randu(frame.image, 0, 256);
    frame.timecodeFormat = 1;
    return frame;
}

struct Layout
{
    int mode;
    FrameTransform transform;
};

Layout layout(int index)
{
    FrameTransform flip, turn;
    flip.flipHorizontal = true;
    turn.rotateLeft = true;
    switch (index) {
    case 0:
        return {InputIdentical, FrameTransform()}; // a deep copy
    case 1:
        return {InputSideBySide, flip}; // a half flipped in place
    case 2:
        return {InputDouble, turn}; // transpose and flip
    default:
        return {InputIdentical, turn}; // the most work: copy, transpose and flip
    }
}

// One started preprocessing worker whose results release a semaphore.
class Worker
{
public:
    explicit Worker(const Layout& l)
    {
        worker.setSettings(l.mode, l.transform, l.transform);
        QObject::connect(&worker, &ImgPreprocessingThread::newProcessingResults, [this] {
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - offeredAt.load()).count();
            slowest = std::max(slowest.load(), ms);
            ++handled;
            results.release();
        });
        worker.start();
    }
    void offer(const VideoFrame& frame)
    {
        offeredAt = Clock::now();
        worker.onNewInputFrameArrived(frame);
    }
    // Offers a frame and returns once it is completely handled.
    bool handle(const VideoFrame& frame)
    {
        offer(frame);
        return results.tryAcquire(1, 10000) && worker.waitIdle();
    }

    WorkerProbe<ImgPreprocessingThread> worker{0};
    QSemaphore results;
    std::atomic<int> handled{0};
    std::atomic<Clock::time_point> offeredAt{};
    std::atomic<double> slowest{0}; // from offer to result, in milliseconds
};

void BM_PreprocessingOneAtATime(benchmark::State& state)
{
    Worker w(layout(int(state.range(0))));
    const VideoFrame frame = fullHdFrame();
    int offered = 0;
    for (auto _ : state) {
        if (!w.handle(frame))
            state.SkipWithError("frame not handled");
        ++offered;
    }
    state.counters["frames_per_s"] = benchmark::Counter(offered, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PreprocessingOneAtATime)
    ->ArgName("layout")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_BoundOfLayout(benchmark::State& state)
{
    const cv::Mat image = fullHdFrame().image;
    cv::Mat half = image(cv::Rect(0, 0, 960, 1080));
    for (auto _ : state) {
        cv::Mat out;
        switch (state.range(0)) {
        case 0:
            out = image.clone();
            break;
        case 1:
            cv::flip(half, half, 1);
            out = half;
            break;
        case 2:
            cv::transpose(image, out);
            cv::flip(out, out, 0);
            break;
        default:
            out = image.clone();
            cv::transpose(out, out);
            cv::flip(out, out, 0);
        }
        benchmark::DoNotOptimize(out.data);
    }
}
BENCHMARK(BM_BoundOfLayout)
    ->ArgName("layout")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// 180 frames at 60 per second, each offered when its time comes whatever the
// worker is doing: a frame offered while the previous one is pending is dropped.
void BM_PreprocessingAt60Hz(benchmark::State& state)
{
    Worker w(layout(int(state.range(0))));
    const VideoFrame frame = fullHdFrame();
    const int frames = 180;
    w.handle(frame); // the first frame also pays for the first use of its memory
    w.handled = 0;
    w.slowest = 0;
    int late = 0;
    for (auto _ : state) {
        auto next = Clock::now();
        for (int i = 0; i < frames; ++i) {
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
            // A feeder that woke more than half a period late offers two frames close together.
            late += Clock::now() - next > std::chrono::microseconds(8333) ? 1 : 0;
            w.offer(frame);
        }
        w.worker.waitIdle();
    }
    state.counters["offered"] = double(frames) * state.iterations();
    state.counters["handled"] = w.handled.load();
    state.counters["slowest_ms"] = w.slowest.load();
    state.counters["offered_late"] = late;
}
BENCHMARK(BM_PreprocessingAt60Hz)
    ->ArgName("layout")
    ->DenseRange(0, 3)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// All six workers started, no frames: the process's processor time over 3 s of wall time.
void BM_IdleWorkers(benchmark::State& state)
{
    std::vector<std::unique_ptr<WorkerThread>> workers;
    workers.push_back(std::make_unique<ImgPreprocessingThread>(0));
    workers.push_back(std::make_unique<ImgPreprocessingThread>(1));
    workers.push_back(std::make_unique<CalibrationThread>());
    workers.push_back(std::make_unique<CalibrationThread>());
    workers.push_back(std::make_unique<SynchronizationThread>());
    workers.push_back(std::make_unique<DisparityMapThread>());
    double cpuPercent = 0;
    for (auto _ : state) {
        for (auto& w : workers)
            w->start();
        const double cpu0 = processCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double cpu = processCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpuPercent = 100.0 * cpu / wall;
        for (auto& w : workers)
            w->stop();
        for (auto& w : workers)
            w->wait();
    }
    state.counters["workers"] = double(workers.size());
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
}
BENCHMARK(BM_IdleWorkers)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(quiet); // the debug lines go nowhere, as in a run without a console
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
