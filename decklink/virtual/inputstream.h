#pragma once

// The input of one card: enabled mode, streaming state and the driver thread
// that delivers frames at the instants of the card's clock. Kept apart from
// the card object and shared with that thread, so a card released from
// within its own callback does not pull the state from under the thread.

#include "common.h"
#include "common/streamcontrol.h"
#include "frameclock.h"
#include "sources.h"

#include <condition_variable>
#include <memory>
#include <thread>

namespace virtualcards {

class InputStream : public StreamControl, public std::enable_shared_from_this<InputStream>
{
public:
    InputStream(std::shared_ptr<const CardSettings> settings, std::shared_ptr<const FrameClock> clock,
                std::unique_ptr<Source> source);
    ~InputStream() override;

    // Why the frames come without a picture, or the input cannot start; empty when nothing is wrong.
    std::string problem();
    // The card is pulled: no frames any more, and the input refuses to start.
    void unplug();
    // The camera now sends `mode` (null: nothing).
    void setSignal(const DisplayModeInfo* mode);
    // The card goes away: stops the stream and drops the callbacks.
    void shutdown();

private:
    struct Delivery;

    HRESULT enableFault() override;
    HRESULT prepareStart() override;
    const DisplayModeInfo* findModeLocked(BMDDisplayMode code) const override;
    bool streamingLocked() const override { return m_streaming; }
    void enabledLocked() override { m_reportedSignal = nullptr; }
    void settleLocked(std::unique_lock<std::mutex>& lock) override;
    HRESULT beginLocked(std::unique_lock<std::mutex>& lock) override;
    void endLocked(std::unique_lock<std::mutex>& lock) override;

    void run();
    bool onOwnThread() const;
    Delivery nextDelivery(int64_t index);
    void deliver(Delivery& delivery);

    const std::shared_ptr<const CardSettings> m_settings;
    const std::shared_ptr<const FrameClock> m_clock;
    const std::unique_ptr<Source> m_source;
    const std::shared_ptr<BufferPool> m_pool = std::make_shared<BufferPool>();

    // Under m_mutex
    std::condition_variable m_wake; // state changed: the thread and waiting stops look again
    const DisplayModeInfo* m_signal;
    const DisplayModeInfo* m_reportedSignal = nullptr; // last format change reported since enabling
    std::string m_sourceProblem;                       // why the source gave no picture for the last frame

    bool m_streaming = false;
    uint64_t m_generation = 0; // counts starts; a restart from a callback shows as a new generation
    int64_t m_firstIndex = 0;  // clock index of the stream's first frame
    int64_t m_nextIndex = 0;
    std::thread m_thread;
    std::thread::id m_threadId;
    bool m_threadRunning = false; // the thread's loop has not ended
    int m_waitingStops = 0;       // stops from other threads waiting for the loop to end
};

} // namespace virtualcards
