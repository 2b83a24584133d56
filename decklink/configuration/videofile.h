#pragma once

// Video files as the virtual cards read them: with the backend that plays the
// usual files, and with every wait bounded, so that a file on a stalled share
// or a container that never ends holds up no caller for long.

#include <chrono>
#include <opencv2/videoio.hpp>
#include <string>

namespace cardconfig {

// Longest wait for a video to open, and for one of its frames.
constexpr int videoOpenTimeoutMs = 5000;
constexpr int videoReadTimeoutMs = 2000;

// Opens `file` into `capture`; false when it cannot be played.
bool openVideo(cv::VideoCapture& capture, const std::string& file);

// How far counting the frames of a video may go: a video not counted within
// these is played as a stream that does not end.
struct CountLimits
{
    long long frames = 200000; // more than two hours at 25 frames per second
    std::chrono::milliseconds time{3000};
};

// The frames of the opened video, counted by reading them from its start and
// seeking back after; 0 when they cannot be counted within `limits`.
long long countFrames(cv::VideoCapture& capture, const CountLimits& limits);

} // namespace cardconfig
