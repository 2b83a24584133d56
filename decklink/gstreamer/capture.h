#pragma once

// The input of one GStreamer card: the enabled mode, the pipeline that runs
// while streaming (<source> ! videoconvert ! UYVY ! appsink) and the driver
// thread that takes its buffers and hands them to the callback. Kept apart
// from the card object and shared with that thread, as a card may be released
// from within its own callback.

#include "common/streamcontrol.h"
#include "gstcommon.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <thread>

namespace gstreamercards {

class CaptureStream : public StreamControl, public std::enable_shared_from_this<CaptureStream>
{
public:
    explicit CaptureStream(std::shared_ptr<const CardDescription> card);
    ~CaptureStream() override;

    // Why the last start failed or the frames come without a picture; empty when nothing is wrong.
    std::string problem();
    // The card's modes, then those its signal was found in since.
    std::vector<DisplayModeInfo> modes();
    // The card is gone: no frames any more, and the input refuses to start.
    void unplug();
    // The card object goes: stops the stream and drops the callbacks.
    void shutdown();

private:
    struct Run;

    const DisplayModeInfo* findModeLocked(BMDDisplayMode code) const override;
    bool streamingLocked() const override;
    HRESULT beginLocked(std::unique_lock<std::mutex>& lock) override;
    void endLocked(std::unique_lock<std::mutex>& lock) override;

    bool build(Run& run, std::string& error);
    bool play(Run& run, std::string& error);
    void deliverLoop(const std::shared_ptr<Run>& run);
    // Messages of the pipeline: true when the stream has ended or failed.
    bool readBus(Run& run);
    void handleSample(Run& run, GstSample* sample);
    void deliverNoSignal(Run& run);
    // Records why the card has no picture (empty: it has one again) and reports it once.
    void setProblem(const std::string& problem, const char* kind);
    void stopRun(std::unique_lock<std::mutex>& lock);

    const std::shared_ptr<const CardDescription> m_card;
    const std::shared_ptr<BufferPool> m_blackPool = std::make_shared<BufferPool>();

    // Under m_mutex
    std::condition_variable m_wake;
    std::deque<DisplayModeInfo>
        m_detected; // modes the signal was found in, beyond the card's (kept in place)
    std::string m_problem;
    std::shared_ptr<Run> m_run; // the stream, while streaming or until its thread has ended
};

} // namespace gstreamercards
