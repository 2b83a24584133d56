#pragma once

// The input of one GStreamer card: the enabled mode, the pipeline that runs
// while streaming (<source> ! videoconvert ! UYVY ! appsink) and the driver
// thread that takes its buffers and hands them to the callback. Kept apart
// from the card object and shared with that thread, as a card may be released
// from within its own callback.

#include "gstcommon.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace gstreamercards {

class CaptureStream : public std::enable_shared_from_this<CaptureStream>
{
public:
    explicit CaptureStream(std::shared_ptr<const CardDescription> card);
    ~CaptureStream();
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    HRESULT enable(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags);
    HRESULT disable();
    HRESULT start();
    // Returns when no callback runs any more; from within this input's own
    // callback it only ends the stream, which the thread leaves after the call.
    HRESULT stop();
    void setCallback(IDeckLinkInputCallback* callback);
    void setPreviewCallback(IDeckLinkScreenPreviewCallback* callback);

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
    const DisplayModeInfo* findMode(BMDDisplayMode code) const; // under m_mutex

    const std::shared_ptr<const CardDescription> m_card;
    const std::shared_ptr<BufferPool> m_blackPool = std::make_shared<BufferPool>();
    InputCallbacks m_callbacks;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_present = true;
    bool m_enabled = false;
    DisplayModeInfo m_mode{};
    bool m_detection = false;
    std::vector<DisplayModeInfo> m_detected; // modes the signal was found in, beyond the card's
    std::string m_problem;
    std::shared_ptr<Run> m_run; // the stream, while streaming or until its thread has ended
};

} // namespace gstreamercards
