// duoscope-measure on a generated 10 s 1080p25 side-by-side file (two squeezed
// 960 x 1080 halves of a board in front of a textured wall, a textured card
// moving across), measuring every 5th frame as a crew checks a take: footage
// seconds per second of run time must stay at or above 1 (real time), with
// the readings from the scene and without them. Beside it, what bounds it:
// reading the file alone (every frame decoded), and the measurement of one
// full-size pair (board in both views, scene, depth budget).

#include "common/boardscene.h"
#include "footage.h"
#include "measurerun.h"
#include "processcpu.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace {

constexpr double kRate = 25;
constexpr int kFrames = 250;
const cv::Size kView(1920, 1080);

// One camera's view at frame k: the board, a wall with texture for the
// matcher, a card moving across; the right camera sees the wall 20 px further
// left (behind the screen) and the board 6 px lower.
cv::Mat view(int k, bool right)
{
    BoardPose pose;
    pose.heightFraction = 0.45;
    pose.centre = {0.5, 0.5 + (right ? 6.0 / kView.height : 0.0)};
    cv::Mat picture = renderBoardScene(CalibrationBoard::standard(), kView, pose);
    cv::Mat wall(kView.height / 3, kView.width + 40, CV_8UC3);
    cv::RNG(3).fill(wall, cv::RNG::UNIFORM, 30, 220);
    wall(cv::Rect(right ? 20 : 0, 0, kView.width, wall.rows))
        .copyTo(picture(cv::Rect(0, 0, kView.width, wall.rows)));
    cv::Mat card(200, 200, CV_8UC3);
    cv::RNG(5).fill(card, cv::RNG::UNIFORM, 0, 255);
    card.copyTo(picture(cv::Rect(100 + 6 * k - (right ? 10 : 0), kView.height - 260, 200, 200)));
    return picture;
}

// The file, written once per run: H.264 where this machine's writer has it, else Motion JPEG.
const QString& sideBySideFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const cv::Size size = kView;
        for (const auto& [name, fourcc] :
             {std::pair{"take.mp4", cv::VideoWriter::fourcc('a', 'v', 'c', '1')},
              std::pair{"take.avi", cv::VideoWriter::fourcc('M', 'J', 'P', 'G')}}) {
            const QString file = dir.filePath(name);
            cv::VideoWriter writer(file.toStdString(), fourcc, kRate, size);
            if (!writer.isOpened())
                continue;
            for (int k = 0; k < kFrames; ++k) {
                cv::Mat halves[2], frame;
                cv::resize(view(k, false), halves[0], cv::Size(size.width / 2, size.height), 0, 0,
                           cv::INTER_AREA);
                cv::resize(view(k, true), halves[1], halves[0].size(), 0, 0, cv::INTER_AREA);
                cv::hconcat(halves[0], halves[1], frame);
                writer.write(frame);
            }
            return file;
        }
        return QString();
    }();
    return path;
}

// Runs `readAll` (which reads an opened footage to its end and returns the
// frames read) on the file once per iteration, then reports footage seconds
// per second of run time and the processor seconds (all threads) each footage
// second took: on a machine shared with other work the first drops with the
// load, the second does not, and below the number of cores it means real
// time on that machine when idle.
template <typename ReadAll> void runOverTheFile(benchmark::State& state, ReadAll readAll)
{
    FootageSettings settings;
    settings.leftPath = sideBySideFile(); // written before the clocks start
    settings.layout.inputMode = InputSideBySide;
    settings.layout.fullSizeHalves = true;
    qint64 frames = 0;
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        Footage footage;
        QString error;
        if (settings.leftPath.isEmpty() || !footage.open(settings, &error)) {
            state.SkipWithError(qPrintable(error.isEmpty() ? QStringLiteral("no video writer") : error));
            return;
        }
        frames += readAll(footage);
    }
    const double footageSeconds = double(frames) / kRate;
    state.counters["footage_s_per_s"] = benchmark::Counter(footageSeconds, benchmark::Counter::kIsRate);
    state.counters["cpu_s_per_footage_s"] = (processCpuSeconds() - cpuStart) / footageSeconds;
    state.SetLabel(qPrintable(QFileInfo(settings.leftPath).suffix()));
}

// With the readings from the scene (scene:1) and without them (scene:0,
// --no-scene).
void BM_MeasureSideBySideEvery5(benchmark::State& state)
{
    runOverTheFile(state, [&state](Footage& footage) {
        RunSettings run;
        run.every = 5;
        run.measure.scene = state.range(0) != 0;
        int measured = 0;
        const qint64 frames = measureFootage(
            footage, run, [&](const FrameMeasurement& m) { measured += m.board ? 1 : 0; },
            [](qint64) { return true; });
        benchmark::DoNotOptimize(measured);
        return frames;
    });
}
BENCHMARK(BM_MeasureSideBySideEvery5)
    ->ArgName("scene")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(2);

void BM_ReadEveryFrameOnly(benchmark::State& state)
{
    runOverTheFile(state, [](Footage& footage) {
        FootagePair pair;
        qint64 frames = 0;
        while (footage.next(pair, false))
            ++frames;
        return frames;
    });
}
BENCHMARK(BM_ReadEveryFrameOnly)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

void BM_MeasureOnePair(benchmark::State& state)
{
    const cv::Mat left = view(0, false), right = view(0, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(measureFrame(left, right, MeasureSettings()));
}
BENCHMARK(BM_MeasureOnePair)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
