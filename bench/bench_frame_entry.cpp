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
#include <cstring>
#include <deque>
#include <opencv2/imgproc.hpp>

namespace {

// Refuses the program's BGR when told to, as a card that does not know it;
// writes every byte of the picture when told to, as a card's conversion
// does, so that the cost of fresh memory shows.
class NoConversion : public CountedDouble<IDeckLinkVideoConversion>
{
public:
    bool knowsProgramBgr = true;
    bool writes = false;
    HRESULT ConvertFrame(IDeckLinkVideoFrame*, IDeckLinkVideoFrame* destination) override
    {
        if (!knowsProgramBgr && destination->GetPixelFormat() == bmdFormat8BitBGR)
            return E_INVALIDARG;
        void* bytes = nullptr;
        if (writes && destination->GetBytes(&bytes) == S_OK)
            std::memset(bytes, 0x40, size_t(destination->GetRowBytes()) * size_t(destination->GetHeight()));
        return S_OK;
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
    conversion.writes = state.range(1) != 0;
    PicturePool pool;
    PicturePool* const pooled = state.range(2) != 0 ? &pool : nullptr;
    // The pipeline holds a few frames at once (queues, workers, views) and
    // lets go of the oldest as a new one arrives.
    std::deque<VideoFrame> held;
    for (auto _ : state) {
        frame.timecodes.begin()->second->refCount = 1;
        frame.ancillary->refCount = 1;
        held.emplace_back();
        benchmark::DoNotOptimize(convertInputFrame(&frame, &output, &conversion, held.back(), pooled));
        benchmark::DoNotOptimize(held.back().image.data);
        if (held.size() > 4)
            held.pop_front();
    }
    qInstallMessageHandler(nullptr);
}
// Arguments: whether the card writes the program's BGR (else it gives BGRA
// only), whether its conversion writes the picture, whether the pictures come
// from a pool.
BENCHMARK(BM_ConvertInputFrame)
    ->ArgNames({"bgr", "writes", "pooled"})
    ->Args({1, 0, 0})
    ->Args({0, 0, 0})
    ->Args({1, 1, 0})
    ->Args({1, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
