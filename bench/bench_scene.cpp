// The scene measurement on two 1080p pictures of the virtual rig (the right
// camera 1 % larger, rolled 0.3 deg, 2 px low), on one core: each step
// (detection, description, matching, fit) of each detector at each working
// width beside the OpenCV call it wraps on the same input, and the whole
// measurement with its accuracy.
//
// The counters of BM_Measure give the error of each reading against the
// rig's truth, so the detectors are compared on accuracy as well as time.

#include "rigscene.h"
#include "scene/scenealignment.h"
#include "scene/scenefeatures.h"
#include "scene/scenefit.h"

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>

#include <map>

namespace {

const cv::Size kFullHd(1920, 1080);
// The working widths compared; the default one is SceneOptions().workingWidth.
const std::vector<int64_t> kWorkingWidths{640, 720, 960};

struct Pictures
{
    cv::Mat left, right;         // 1080p BGR
    cv::Mat workLeft, workRight; // grey, reduced to the working width
    double factor = 1.0;
};

const Pictures& pictures(int workingWidth = SceneOptions().workingWidth)
{
    static std::map<int, Pictures> made;
    auto found = made.find(workingWidth);
    if (found != made.end())
        return found->second;
    virtualcards::RigSettings rig;
    rig.right = {1.01, 0.3, 2.0, 0.0};
    const virtualcards::RigScene scene(rig);
    Pictures p;
    p.left = scene.render(virtualcards::RigCamera::Left, kFullHd, kFullHd);
    p.right = scene.render(virtualcards::RigCamera::Right, kFullHd, kFullHd);
    p.workLeft = workingPicture(p.left, workingWidth, p.factor);
    p.workRight = workingPicture(p.right, workingWidth, p.factor);
    return made.emplace(workingWidth, p).first->second;
}

// One core, as the worker gets in the program.
void oneCore(const benchmark::State&)
{
    cv::setNumThreads(1);
}

SceneDetector detectorOf(const benchmark::State& state)
{
    return static_cast<SceneDetector>(state.range(0));
}

int widthOf(const benchmark::State& state)
{
    return int(state.range(1));
}

// Each detector at each working width.
void name(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"detector", "width"})
        ->ArgsProduct(
            {{int(SceneDetector::Orb), int(SceneDetector::Akaze), int(SceneDetector::Sift)}, kWorkingWidths})
        ->Unit(benchmark::kMillisecond)
        ->Setup(oneCore);
}

// The detectors as OpenCV makes them by default (ORB and SIFT with the same
// point budget as ours).
cv::Ptr<cv::Feature2D> openCvDetector(SceneDetector detector)
{
    switch (detector) {
    case SceneDetector::Orb:
        return cv::ORB::create(5120);
    case SceneDetector::Akaze:
        return cv::AKAZE::create();
    case SceneDetector::Sift:
        break;
    }
    return cv::SIFT::create(5120);
}

void BM_Reduce(benchmark::State& state)
{
    const Pictures& p = pictures();
    for (auto _ : state) {
        double factor = 1.0;
        benchmark::DoNotOptimize(workingPicture(p.left, int(state.range(0)), factor).data);
    }
}
BENCHMARK(BM_Reduce)
    ->ArgName("width")
    ->ArgsProduct({kWorkingWidths})
    ->Unit(benchmark::kMillisecond)
    ->Setup(oneCore);

// Detection and description of one picture, with the points spread over the grid.
void BM_Detect(benchmark::State& state)
{
    const Pictures& p = pictures(widthOf(state));
    size_t points = 0;
    for (auto _ : state)
        points = detectSceneFeatures(p.workLeft, detectorOf(state)).keypoints.size();
    state.counters["points"] = double(points);
}
BENCHMARK(BM_Detect)->Apply(name);

// OpenCV's detection alone, then with the description: the difference is
// what describing the points costs.
void BM_OpenCvDetect(benchmark::State& state)
{
    const Pictures& p = pictures(widthOf(state));
    const cv::Ptr<cv::Feature2D> detector = openCvDetector(detectorOf(state));
    std::vector<cv::KeyPoint> points;
    for (auto _ : state)
        detector->detect(p.workLeft, points);
    state.counters["points"] = double(points.size());
}
BENCHMARK(BM_OpenCvDetect)->Apply(name);

void BM_OpenCvDetectAndCompute(benchmark::State& state)
{
    const Pictures& p = pictures(widthOf(state));
    const cv::Ptr<cv::Feature2D> detector = openCvDetector(detectorOf(state));
    std::vector<cv::KeyPoint> points;
    cv::Mat descriptors;
    for (auto _ : state)
        detector->detectAndCompute(p.workLeft, cv::noArray(), points, descriptors);
    state.counters["points"] = double(points.size());
}
BENCHMARK(BM_OpenCvDetectAndCompute)->Apply(name);

struct Features
{
    SceneFeatures left, right;
};

const Features& features(SceneDetector detector, int workingWidth = SceneOptions().workingWidth)
{
    static std::map<std::pair<SceneDetector, int>, Features> made;
    const auto key = std::pair{detector, workingWidth};
    auto found = made.find(key);
    if (found == made.end()) {
        const Pictures& p = pictures(workingWidth);
        found = made.emplace(key, Features{detectSceneFeatures(p.workLeft, detector),
                                           detectSceneFeatures(p.workRight, detector)})
                    .first;
    }
    return found->second;
}

void BM_Match(benchmark::State& state)
{
    const Features& f = features(detectorOf(state), widthOf(state));
    size_t matches = 0;
    for (auto _ : state)
        matches = matchSceneFeatures(f.left, f.right, detectorOf(state)).left.size();
    state.counters["matches"] = double(matches);
}
BENCHMARK(BM_Match)->Apply(name);

// OpenCV's k-nearest matching alone, one way: ours runs it both ways for
// the mutual check.
void BM_OpenCvKnnMatch(benchmark::State& state)
{
    const Features& f = features(detectorOf(state), widthOf(state));
    cv::BFMatcher matcher(detectorOf(state) == SceneDetector::Sift ? cv::NORM_L2 : cv::NORM_HAMMING);
    std::vector<std::vector<cv::DMatch>> matches;
    for (auto _ : state)
        matcher.knnMatch(f.left.descriptors, f.right.descriptors, matches, 2);
}
BENCHMARK(BM_OpenCvKnnMatch)->Apply(name);

struct Matched
{
    std::vector<cv::Point2d> left, right;
};

const Matched& matched()
{
    static const Matched m = [] {
        const Pictures& p = pictures();
        const SceneDetector detector = SceneOptions().detector;
        const SceneMatches found =
            matchSceneFeatures(features(detector).left, features(detector).right, detector);
        Matched made;
        for (size_t k = 0; k < found.left.size(); ++k) {
            made.left.emplace_back(found.left[k].x / p.factor, found.left[k].y / p.factor);
            made.right.emplace_back(found.right[k].x / p.factor, found.right[k].y / p.factor);
        }
        return made;
    }();
    return m;
}

void BM_Fit(benchmark::State& state)
{
    const Matched& m = matched();
    size_t inliers = 0;
    for (auto _ : state)
        inliers = fitVerticalModel(m.left, m.right, cv::Size2d(kFullHd), 3.0)->inliers.size();
    state.counters["matches"] = double(m.left.size());
    state.counters["inliers"] = double(inliers);
}
BENCHMARK(BM_Fit)->Unit(benchmark::kMillisecond)->Setup(oneCore);

// OpenCV's robust fits of a whole picture motion on the same matches, for
// scale: a similarity (which the parallax breaks) and a homography by USAC.
void BM_OpenCvEstimateAffinePartial(benchmark::State& state)
{
    const Matched& m = matched();
    std::vector<cv::Point2f> left(m.left.begin(), m.left.end()), right(m.right.begin(), m.right.end());
    for (auto _ : state)
        benchmark::DoNotOptimize(
            cv::estimateAffinePartial2D(left, right, cv::noArray(), cv::RANSAC, 3.0).data);
}
BENCHMARK(BM_OpenCvEstimateAffinePartial)->Unit(benchmark::kMillisecond)->Setup(oneCore);

void BM_OpenCvFindHomographyUsac(benchmark::State& state)
{
    const Matched& m = matched();
    std::vector<cv::Point2f> left(m.left.begin(), m.left.end()), right(m.right.begin(), m.right.end());
    for (auto _ : state)
        benchmark::DoNotOptimize(cv::findHomography(left, right, cv::USAC_DEFAULT, 3.0).data);
}
BENCHMARK(BM_OpenCvFindHomographyUsac)->Unit(benchmark::kMillisecond)->Setup(oneCore);

// The whole measurement from two 1080p BGR pictures, with each reading's
// error against the rig's truth.
void BM_Measure(benchmark::State& state)
{
    const Pictures& p = pictures();
    SceneOptions options;
    options.detector = detectorOf(state);
    options.workingWidth = widthOf(state);
    SceneMeasurement m;
    for (auto _ : state)
        m = measureScene(p.left, p.right, {}, options);
    state.counters["matches"] = m.evidence.matches;
    state.counters["inliers"] = m.evidence.inliers;
    if (!m.reading) {
        state.SkipWithError(qPrintable(m.reason));
        return;
    }
    const SceneReading reading = m.reading.value_or(SceneReading{});
    state.counters["roll_err_deg"] = std::fabs(reading.rollDegrees - 0.3);
    state.counters["vertical_err_px"] = std::fabs(reading.verticalPixels - 2.0);
    state.counters["size_err_pct"] = std::fabs(reading.sizePercent - 1.0);
}
BENCHMARK(BM_Measure)->Apply(name);

} // namespace

BENCHMARK_MAIN();
