// The board detector at 1920 x 1080 on frames with sensor-like noise: a frame
// with the board (found at the first attempt), a frame without any pattern
// (rejected by the quick check) and the worst case (the quick check passes, all
// attempts fail), beside OpenCV's chessboard search on a 9 x 6 chessboard.

#include "calibration/tesra_board_detector.h"
#include "common/boardscene.h"

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const cv::Size kFrameSize(1920, 1080);

SceneLook noisy()
{
    SceneLook look;
    look.noiseSigma = 2.0;
    return look;
}

cv::Mat boardFrame()
{
    BoardPose pose;
    pose.heightFraction = 0.4;
    pose.roll = 3.0;
    return renderBoardScene(CalibrationBoard::standard(), kFrameSize, pose, noisy());
}

// The board with its inner rectangle covered: plenty of squares, too few pairs.
cv::Mat coveredBoardFrame()
{
    const CalibrationBoard board = CalibrationBoard::standard();
    BoardPose pose;
    pose.heightFraction = 0.4;
    const cv::Matx33d toImage = boardToImage(board, kFrameSize, pose);
    cv::Mat grey = renderBoardScene(board, kFrameSize, pose, SceneLook{1, 0.0, 0.0});
    const std::array<cv::Point2d, 4> inner = expectedRectangles(board, toImage)[2];
    const double square = board.squareSize() * toImage(0, 0) / toImage(2, 2);
    cv::rectangle(grey, inner[0] - cv::Point2d(square, square), inner[2] + cv::Point2d(square, square),
                  cv::Scalar(220), cv::FILLED);
    SceneLook look = noisy();
    look.channels = 3;
    cv::Mat noise(grey.size(), CV_32F);
    cv::RNG(7).fill(noise, cv::RNG::NORMAL, 0.0, look.noiseSigma);
    cv::Mat frame;
    grey.convertTo(frame, CV_32F);
    frame += noise;
    frame.convertTo(grey, CV_8U);
    cv::cvtColor(grey, frame, cv::COLOR_GRAY2BGR);
    return frame;
}

cv::Mat chessboardFrame()
{
    // 10 x 7 squares of 80 pixels give 9 x 6 inner corners.
    cv::Mat grey = renderEmptyScene(kFrameSize, SceneLook{1, 0.0, 0.0});
    const cv::Point origin(560, 260);
    cv::rectangle(grey, cv::Rect(origin - cv::Point(40, 40), cv::Size(880, 640)), cv::Scalar(220),
                  cv::FILLED);
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 10; ++column)
            if ((row + column) % 2 == 0)
                cv::rectangle(grey, cv::Rect(origin + cv::Point(column * 80, row * 80), cv::Size(80, 80)),
                              cv::Scalar(35), cv::FILLED);
    cv::Mat noise(grey.size(), CV_32F);
    cv::RNG(3).fill(noise, cv::RNG::NORMAL, 0.0, 2.0);
    cv::Mat frame;
    grey.convertTo(frame, CV_32F);
    frame += noise;
    frame.convertTo(grey, CV_8U);
    cv::cvtColor(grey, frame, cv::COLOR_GRAY2BGR);
    return frame;
}

void runDetector(benchmark::State& state, const cv::Mat& frame, bool expectFound)
{
    std::vector<DetectedRectangle> rectangles;
    for (auto _ : state) {
        const bool found = findTesraBoard(frame, rectangles);
        benchmark::DoNotOptimize(found);
        if (found != expectFound) {
            state.SkipWithError("unexpected detection result");
            return;
        }
    }
}

void BM_findTesraBoard_boardFound(benchmark::State& state)
{
    runDetector(state, boardFrame(), true);
}

void BM_findTesraBoard_noPattern(benchmark::State& state)
{
    runDetector(state, renderEmptyScene(kFrameSize, noisy()), false);
}

void BM_findTesraBoard_worstCase(benchmark::State& state)
{
    const cv::Mat frame = coveredBoardFrame();
    cv::Mat grey;
    cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
    cv::GaussianBlur(grey, grey, cv::Size(3, 3), 0);
    if (cvCheckChessboard(grey) != 1) {
        state.SkipWithError("the worst-case frame must pass the quick check");
        return;
    }
    runDetector(state, frame, false);
}

void BM_cvFindChessboardCorners_9x6(benchmark::State& state)
{
    const cv::Mat frame = chessboardFrame();
    std::vector<cv::Point2f> corners;
    for (auto _ : state) {
        const bool found = cv::findChessboardCorners(frame, cv::Size(9, 6), corners);
        if (!found) {
            state.SkipWithError("chessboard not found");
            return;
        }
    }
}

} // namespace

BENCHMARK(BM_findTesraBoard_boardFound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_findTesraBoard_noPattern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_findTesraBoard_worstCase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cvFindChessboardCorners_9x6)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
