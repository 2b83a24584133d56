#include "measurerun.h"

#include "camerasync/motionoffset.h"

#include <QThread>
#include <deque>
#include <future>
#include <opencv2/core/utility.hpp>

namespace {

// OpenCV's own threads off for the run, back as they were after it: the run
// already measures a frame on each core, and OpenCV splitting each step of
// every frame over the cores as well only adds the cost of handing work
// between threads (nearly twice the processor time for the scene measurement).
class OneOpenCvThreadPerMeasurement
{
public:
    OneOpenCvThreadPerMeasurement() : before(cv::getNumThreads()) { cv::setNumThreads(1); }
    ~OneOpenCvThreadPerMeasurement() { cv::setNumThreads(before); }
    OneOpenCvThreadPerMeasurement(const OneOpenCvThreadPerMeasurement&) = delete;
    OneOpenCvThreadPerMeasurement& operator=(const OneOpenCvThreadPerMeasurement&) = delete;

private:
    int before;
};

} // namespace

qint64 measureFootage(Footage& footage, const RunSettings& settings,
                      const std::function<void(const FrameMeasurement&)>& measured,
                      const std::function<bool(qint64 framesRead)>& carryOn)
{
    // The offset from motion needs every frame of both videos; otherwise the
    // frames between measured ones are only counted, which skips their
    // conversion.
    const bool sync = footage.isVideo() && footage.hasTwoFiles();
    MotionOffsetEstimator estimator;
    const OneOpenCvThreadPerMeasurement oneThread;
    // Frames are measured on threads of their own while the next ones are
    // read, as many at once as the machine has cores, and handed on in order.
    const size_t inFlightAtMost = size_t(std::max(1, QThread::idealThreadCount()));
    std::deque<std::future<FrameMeasurement>> inFlight;
    auto handOnOldest = [&] {
        const FrameMeasurement m = inFlight.front().get();
        inFlight.pop_front();
        measured(m);
    };

    FootagePair pair;
    qint64 read = 0;
    while (settings.maxFrames < 0 || read < settings.maxFrames) {
        const bool measure = read % settings.every == 0;
        if (!footage.next(pair, measure || sync))
            break;
        ++read;
        if (sync)
            estimator.addFrames(pair.left, pair.right);
        if (measure) {
            std::optional<MotionOffset> offset;
            if (sync)
                offset = estimator.estimate();
            // The pair's pictures are its own: the reader decodes each frame into a new buffer.
            inFlight.push_back(std::async(std::launch::async, [pair, offset, &settings] {
                FrameMeasurement m = measureFrame(pair.left, pair.right, settings.measure);
                m.frame = pair.frame;
                m.seconds = pair.seconds;
                m.sync = offset;
                return m;
            }));
            if (inFlight.size() >= inFlightAtMost)
                handOnOldest();
        }
        if (!carryOn(read))
            break;
    }
    while (!inFlight.empty())
        handOnOldest();
    return read;
}
