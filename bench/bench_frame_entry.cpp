// Frame entry at 1080p: reading a captured frame into a VideoFrame (times,
// format codes, a new buffer, record assembly), with a card that writes the
// program's BGR itself and with one that gives BGRA only (then converted to
// BGR), beside the colour conversion that bounds the second. The card's own
// conversion is left out (a frame pool and a conversion that does nothing
// stand in for the card), so the figures are the program's share of every
// captured frame.

#include "capture/inputframeconversion.h"
#include "common/framedoubles.h"

#include <QtGlobal>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

namespace {

// Refuses the program's BGR when told to, as a card that does not know it.
class NoConversion : public CountedDouble<IDeckLinkVideoConversion>
{
public:
    bool knowsProgramBgr = true;
    HRESULT ConvertFrame(IDeckLinkVideoFrame*, IDeckLinkVideoFrame* destination) override
    {
        return knowsProgramBgr || destination->GetPixelFormat() != bmdFormat8BitBGR ? S_OK : E_INVALIDARG;
    }
};

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

void BM_CvtColorBgraToBgr(benchmark::State& state)
{
    const cv::Mat bgra(1080, 1920, CV_8UC4, cv::Scalar(10, 20, 30, 255));
    for (auto _ : state) {
        cv::Mat bgr;
        cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
        benchmark::DoNotOptimize(bgr.data);
    }
}
BENCHMARK(BM_CvtColorBgraToBgr)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertInputFrame(benchmark::State& state)
{
    qInstallMessageHandler(quiet); // the debug lines go nowhere, as in a run without a console
    InputFrameDouble frame;
    frame.pixels = cv::Mat(1080, 1920, CV_8UC2, cv::Scalar(128, 100));
    frame.addTimecode(bmdTimecodeRP188LTC, 10, 20, 30, 12);
    frame.hardwareTime = 25000LL * 3661;
    OutputDouble output;
    output.reuseFrames = true;
    NoConversion conversion;
    conversion.knowsProgramBgr = state.range(0) != 0;
    for (auto _ : state) {
        frame.timecodes.begin()->second->refCount = 1;
        frame.ancillary->refCount = 1;
        VideoFrame result;
        benchmark::DoNotOptimize(convertInputFrame(&frame, &output, &conversion, result));
        benchmark::DoNotOptimize(result.image.data);
    }
    qInstallMessageHandler(nullptr);
}
// Argument 1: the card writes the program's BGR; 0: it gives BGRA only.
BENCHMARK(BM_ConvertInputFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
