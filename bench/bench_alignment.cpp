// The work the alignment readout adds to every paired calibration result
// (reading, trend with its redraw, take log line), and the orientation check
// on two 1080p pictures of the virtual rig beside the OpenCV reduction that
// bounds it.

#include "app/alignmentlog.h"
#include "calibration/alignmentreadout.h"
#include "calibration/orientationcheck.h"
#include "calibration/tesra_board_detector.h"
#include "plots/alignmenttrendplot.h"
#include "rigscene.h"
#include "widgetbenchmarkmain.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

namespace {

const cv::Size kFullHd(1920, 1080);

struct RigPictures
{
    cv::Mat left, right;
    DetectedRectangles leftRectangles, rightRectangles;
};

const RigPictures& rigPictures()
{
    static const RigPictures pictures = [] {
        virtualcards::RigSettings rig;
        rig.right = {1.01, 0.3, 2.0, 0.0};
        const virtualcards::RigScene scene(rig);
        RigPictures p;
        p.left = scene.render(virtualcards::RigCamera::Left, kFullHd, kFullHd);
        p.right = scene.render(virtualcards::RigCamera::Right, kFullHd, kFullHd);
        findTesraBoard(p.left, p.leftRectangles);
        findTesraBoard(p.right, p.rightRectangles);
        return p;
    }();
    return pictures;
}

void BM_AlignmentReadout(benchmark::State& state)
{
    const RigPictures& p = rigPictures();
    AlignmentHistory history;
    const CalibrationAverages averages{0.02, -0.28, -7, 0};
    for (auto _ : state) {
        const std::optional<AlignmentReading> reading =
            measureAlignment(p.leftRectangles, p.rightRectangles, kFullHd);
        const ReadoutTexts texts = readoutTexts(history.add(*reading), alignmentStates(averages));
        benchmark::DoNotOptimize(texts.rollAction.data());
    }
}
BENCHMARK(BM_AlignmentReadout)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The trend as the tab shows it, holding a full minute of readings (six a
// second), redrawn for each new one.
void BM_AlignmentTrend(benchmark::State& state)
{
    AlignmentTrendPlot plot;
    plot.resize(370, 420);
    plot.show();
    QCoreApplication::processEvents();
    AlignmentReading reading;
    double seconds = 0;
    for (; seconds < 60; seconds += 1.0 / 6)
        plot.addReading(seconds, reading);
    for (auto _ : state) {
        seconds += 1.0 / 6;
        reading.verticalPixels = std::sin(seconds);
        plot.addReading(seconds, reading);
    }
    state.counters["readings"] = plot.readingCount();
}
BENCHMARK(BM_AlignmentTrend)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_AlignmentLogLine(benchmark::State& state)
{
    QTemporaryDir dir;
    AlignmentLog log;
    if (!log.start(dir.path(), 1)) {
        state.SkipWithError("cannot start the log");
        return;
    }
    AlignmentLogEntry entry;
    entry.boardLeft = entry.boardRight = true;
    entry.indicators = CalibrationAverages{0.02, -0.28, -7, 0};
    entry.readout = AlignmentReading{2, 0.19, 0.3, 1, 0, 0};
    for (auto _ : state) {
        ++entry.timeLabel;
        if (!log.append(entry))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_AlignmentLogLine)->Unit(benchmark::kMicrosecond)->UseRealTime();

// All three, as one paired result costs them.
void BM_AlignmentPerPairedResult(benchmark::State& state)
{
    const RigPictures& p = rigPictures();
    AlignmentHistory history;
    const CalibrationAverages averages{0.02, -0.28, -7, 0};
    AlignmentTrendPlot plot;
    plot.resize(370, 420);
    plot.show();
    QCoreApplication::processEvents();
    QTemporaryDir dir;
    AlignmentLog log;
    log.start(dir.path(), 1);
    double seconds = 0;
    for (; seconds < 60; seconds += 1.0 / 6)
        plot.addReading(seconds, AlignmentReading());
    AlignmentLogEntry entry;
    entry.indicators = averages;
    for (auto _ : state) {
        seconds += 1.0 / 6;
        const AlignmentReading mean =
            history.add(*measureAlignment(p.leftRectangles, p.rightRectangles, kFullHd));
        const ReadoutTexts texts = readoutTexts(mean, alignmentStates(averages));
        benchmark::DoNotOptimize(texts.rollAction.data());
        plot.setBands(readoutBands({}));
        plot.addReading(seconds, mean);
        ++entry.timeLabel;
        entry.readout = mean;
        log.append(entry);
    }
}
BENCHMARK(BM_AlignmentPerPairedResult)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_OrientationCheck1080p(benchmark::State& state)
{
    const RigPictures& p = rigPictures();
    for (auto _ : state) {
        const OrientationCheck check = checkOrientation(p.left, p.right);
        benchmark::DoNotOptimize(check.scores.data());
    }
}
BENCHMARK(BM_OrientationCheck1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

// The bound: reducing the two pictures alone, by an area average.
void BM_ReduceTwo1080p(benchmark::State& state)
{
    const RigPictures& p = rigPictures();
    for (auto _ : state) {
        cv::Mat a, b;
        cv::resize(p.left, a, cv::Size(kOrientationCheckWidth, 90), 0, 0, cv::INTER_AREA);
        cv::resize(p.right, b, cv::Size(kOrientationCheckWidth, 90), 0, 0, cv::INTER_AREA);
        benchmark::DoNotOptimize(a.data);
        benchmark::DoNotOptimize(b.data);
    }
}
BENCHMARK(BM_ReduceTwo1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char* argv[])
{
    return runWidgetBenchmarks(argc, argv);
}
