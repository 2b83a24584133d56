// The disparity analysis of one HD pair (1920 x 1080, -64..64, block 11): the
// matcher (OpenCV's semi-global block matcher, which dominates) beside the rest
// of the analysis (coloured map, grey map, histogram) on its raw map. The rest
// should cost at most 2 % of the matcher. Then the depth budget on the same
// map, and one live analysis (the pair scaled to 960 x 540, -32..32) beside
// the matcher on the scaled pair.

#include "disparity/tesra_disparity_map.h"

#include "disparity/depthbudget.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int minDisparity = -64;
constexpr int maxDisparity = 64;
constexpr int blockSize = 11;

// A textured background and four textured boards at their own disparities,
// painted back to front into both views (disparity = left x - right x).
struct Scene
{
    cv::Mat left;
    cv::Mat right;
    cv::Mat raw;
    ParallaxLimits limits;

    Scene() : left(1080, 1920, CV_8UC3, cv::Scalar::all(0)), right(left.clone())
    {
        const int w = left.cols, h = left.rows;
        paint(cv::Rect(-100, 0, w + 200, h), -30, 1);
        paint(cv::Rect(w / 10, h / 6, w / 4, h / 2), -8, 2);
        paint(cv::Rect(w / 3, h / 4, w / 5, h / 2), 0, 3);
        paint(cv::Rect(w / 2, h / 3, w / 4, h / 2), 14, 4);
        paint(cv::Rect(w * 3 / 4, h / 8, w / 6, h / 3), 40, 5);
        raw = computeDisparityMap(left, right, minDisparity, maxDisparity, blockSize);
        limits = computeParallaxLimits(w, minDisparity, maxDisparity, -1.0, 0.0, 1.0);
    }

    void paint(const cv::Rect& rect, int disparity, uint64_t seed)
    {
        cv::Mat texture(rect.size(), CV_8UC3);
        cv::RNG rng(seed);
        rng.fill(texture, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(texture, texture, cv::Size(3, 3), 0);
        paintInto(left, texture, rect);
        paintInto(right, texture, rect - cv::Point(disparity, 0));
    }

    static void paintInto(cv::Mat& view, const cv::Mat& texture, const cv::Rect& at)
    {
        const cv::Rect visible = at & cv::Rect(0, 0, view.cols, view.rows);
        texture(visible - at.tl()).copyTo(view(visible));
    }
};

const Scene& scene()
{
    static const Scene s;
    return s;
}

void BM_ComputeDisparityMap(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(computeDisparityMap(s.left, s.right, minDisparity, maxDisparity, blockSize));
}
BENCHMARK(BM_ComputeDisparityMap)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RestOfTheAnalysis(benchmark::State& state)
{
    const Scene& s = scene();
    const ParallaxLimits& l = s.limits;
    for (auto _ : state) {
        benchmark::DoNotOptimize(colorizeDisparity(s.raw, minDisparity, maxDisparity, l.farDisparity,
                                                   l.screenDisparityLow, l.screenDisparityHigh,
                                                   l.nearDisparity));
        benchmark::DoNotOptimize(disparityToGray(s.raw));
        benchmark::DoNotOptimize(disparityHistogram(s.raw, minDisparity, maxDisparity));
    }
}
BENCHMARK(BM_RestOfTheAnalysis)->Unit(benchmark::kMillisecond);

// The three parts on their own, to see where the rest goes.
void BM_ColorizeDisparity(benchmark::State& state)
{
    const Scene& s = scene();
    const ParallaxLimits& l = s.limits;
    for (auto _ : state)
        benchmark::DoNotOptimize(colorizeDisparity(s.raw, minDisparity, maxDisparity, l.farDisparity,
                                                   l.screenDisparityLow, l.screenDisparityHigh,
                                                   l.nearDisparity));
}
BENCHMARK(BM_ColorizeDisparity)->Unit(benchmark::kMillisecond);

void BM_DisparityToGray(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(disparityToGray(s.raw));
}
BENCHMARK(BM_DisparityToGray)->Unit(benchmark::kMillisecond);

void BM_DisparityHistogram(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(disparityHistogram(s.raw, minDisparity, maxDisparity));
}
BENCHMARK(BM_DisparityHistogram)->Unit(benchmark::kMillisecond);

void BM_DepthBudget(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(depthBudget(s.raw, minDisparity, maxDisparity));
}
BENCHMARK(BM_DepthBudget)->Unit(benchmark::kMillisecond);

// Taking a rig's size, roll and vertical difference out of a full HD right picture.
void BM_RigCorrection(benchmark::State& state)
{
    const Scene& s = scene();
    const RigCorrection correction{true, 0.2, 0.3, 1.0};
    for (auto _ : state)
        benchmark::DoNotOptimize(alignedToLeft(s.right, correction));
}
BENCHMARK(BM_RigCorrection)->Unit(benchmark::kMillisecond);

// What the disparity worker does for one live analysis of a full HD pair.
void BM_LiveAnalysis(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        const LiveScale scale = liveScale(s.left.cols, minDisparity, maxDisparity);
        const cv::Size size(960, 540);
        cv::Mat left, right;
        cv::resize(s.left, left, size, 0, 0, cv::INTER_AREA);
        cv::resize(s.right, right, size, 0, 0, cv::INTER_AREA);
        right = alignedToLeft(right, RigCorrection{true, 0.2, 0.3, 1.0});
        const cv::Mat raw =
            computeDisparityMap(left, right, scale.minDisparity, scale.maxDisparity, blockSize);
        const ParallaxLimits l =
            computeParallaxLimits(left.cols, scale.minDisparity, scale.maxDisparity, -1.0, 0.0, 1.0);
        benchmark::DoNotOptimize(colorizeDisparity(raw, scale.minDisparity, scale.maxDisparity,
                                                   l.farDisparity, l.screenDisparityLow,
                                                   l.screenDisparityHigh, l.nearDisparity));
        benchmark::DoNotOptimize(disparityHistogram(raw, scale.minDisparity, scale.maxDisparity));
        benchmark::DoNotOptimize(depthBudget(raw, scale.minDisparity, scale.maxDisparity));
    }
}
BENCHMARK(BM_LiveAnalysis)->Unit(benchmark::kMillisecond)->Iterations(20);

// The matcher alone on the scaled pair: the bound of a live analysis.
void BM_ComputeDisparityMapLiveSize(benchmark::State& state)
{
    const Scene& s = scene();
    cv::Mat left, right;
    cv::resize(s.left, left, cv::Size(960, 540), 0, 0, cv::INTER_AREA);
    cv::resize(s.right, right, cv::Size(960, 540), 0, 0, cv::INTER_AREA);
    for (auto _ : state)
        benchmark::DoNotOptimize(computeDisparityMap(left, right, -32, 32, blockSize));
}
BENCHMARK(BM_ComputeDisparityMapLiveSize)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
