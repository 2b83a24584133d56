// Showing a 1080p frame in a 960 x 540 view (fit, the view's picture made in
// one pass, label) beside the OpenCV steps that bound it: the resize to the
// view and the colour conversion of the resized picture into the 32-bit
// pixels the screen draws.

#include "app/frameview.h"
#include "widgetbenchmarkmain.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

namespace {

cv::Mat captureFrame()
{
    cv::Mat frame(1080, 1920, CV_8UC3);
    cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(255));
    return frame;
}

void BM_ResizeAndCvtColor(benchmark::State& state)
{
    const cv::Mat frame = captureFrame();
    for (auto _ : state) {
        cv::Mat fitted, display;
        cv::resize(frame, fitted, cv::Size(960, 540), 0, 0, cv::INTER_LINEAR);
        cv::cvtColor(fitted, display, cv::COLOR_BGR2BGRA);
        benchmark::DoNotOptimize(display.data);
    }
}
BENCHMARK(BM_ResizeAndCvtColor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShowImage(benchmark::State& state)
{
    // A view as the form builds it, with room for exactly 960 x 540.
    QScrollArea area;
    area.setFrameShape(QFrame::NoFrame);
    area.setWidgetResizable(true);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(9, 9, 9, 9);
    auto* label = new QLabel(content);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    area.setWidget(content);
    area.resize(960 + 18, 540 + 18);
    area.show();
    QCoreApplication::processEvents();

    const cv::Mat frame = captureFrame();
    for (auto _ : state)
        showImage(frame, label);
    if (label->pixmap(Qt::ReturnByValue).size() != QSize(960, 540))
        state.SkipWithError("the view did not get 960 x 540");
}
BENCHMARK(BM_ShowImage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char* argv[])
{
    return runWidgetBenchmarks(argc, argv);
}
