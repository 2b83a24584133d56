#include "videofile.h"

namespace cardconfig {

bool openVideo(cv::VideoCapture& capture, const std::string& file)
{
    return capture.open(file, cv::CAP_FFMPEG,
                        {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, videoOpenTimeoutMs, cv::CAP_PROP_READ_TIMEOUT_MSEC,
                         videoReadTimeoutMs}) &&
           capture.isOpened();
}

long long countFrames(cv::VideoCapture& capture, const CountLimits& limits)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    long long count = 0;
    while (capture.grab()) {
        if (++count > limits.frames || std::chrono::steady_clock::now() > deadline) {
            count = 0;
            break;
        }
    }
    capture.set(cv::CAP_PROP_POS_FRAMES, 0);
    return count;
}

} // namespace cardconfig
