#include "inputstream.h"

#include "timecodeoverlay.h"

#include <algorithm>
#include <iostream>

namespace virtualcards {

namespace {

// A client that falls further behind than the card's buffer loses the oldest
// frames, as with hardware; up to that, a late client still gets every frame.
constexpr int64_t bufferSeconds = 2;

} // namespace

struct InputStream::Delivery
{
    bool formatChange = false;
    InputCallbacks::Held callbacks;          // held for the delivery
    const DisplayModeInfo* mode = nullptr;   // the enabled mode
    const DisplayModeInfo* signal = nullptr; // the signal's mode
    int64_t index = 0;
    int64_t streamIndex = 0;
};

InputStream::InputStream(std::shared_ptr<const CardSettings> settings,
                         std::shared_ptr<const FrameClock> clock, std::unique_ptr<Source> source)
    : StreamControl(settings->formatDetection), m_settings(std::move(settings)), m_clock(std::move(clock)),
      m_source(std::move(source)), m_signal(m_settings->signal)
{}

InputStream::~InputStream()
{
    m_callbacks.drop();
}

bool InputStream::onOwnThread() const
{
    return m_threadRunning && std::this_thread::get_id() == m_threadId;
}

HRESULT InputStream::enableFault()
{
    return m_settings->faults.enableVideoInputFails ? E_ACCESSDENIED : S_OK;
}

const DisplayModeInfo* InputStream::findModeLocked(BMDDisplayMode code) const
{
    const DisplayModeInfo* mode = findDisplayMode(code);
    const auto& modes = m_settings->modes;
    return mode && std::find(modes.begin(), modes.end(), mode) != modes.end() ? mode : nullptr;
}

HRESULT InputStream::prepareStart()
{
    if (m_settings->faults.startStreamsFails)
        return E_FAIL;
    const DisplayModeInfo* signal = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        signal = m_signal;
    }
    // A still picture is made before the stream starts, so the first frames are on time.
    if (signal)
        m_source->prepare(*signal);
    return S_OK;
}

void InputStream::settleLocked(std::unique_lock<std::mutex>& lock)
{
    // The loop is ending after a stop from its callback.
    if (m_threadRunning && !onOwnThread() && !m_streaming)
        m_wake.wait(lock, [this] { return !m_threadRunning || m_streaming; });
}

HRESULT InputStream::beginLocked(std::unique_lock<std::mutex>& lock)
{
    m_streaming = true;
    ++m_generation;
    m_firstIndex = m_nextIndex = m_clock->nextIndexAfter(SteadyClock::now(), *m_mode);
    std::thread finished;
    if (!m_threadRunning) {
        finished = std::move(m_thread);
        m_threadRunning = true;
        m_thread = std::thread([self = shared_from_this()] { self->run(); });
        m_threadId = m_thread.get_id();
    }
    m_wake.notify_all();
    lock.unlock();
    if (finished.joinable())
        finished.join();
    return S_OK;
}

void InputStream::endLocked(std::unique_lock<std::mutex>& lock)
{
    m_streaming = false;
    m_wake.notify_all();
    if (onOwnThread())
        return;
    // While this stop waits, the loop ends even if its callback starts the stream again.
    ++m_waitingStops;
    m_wake.wait(lock, [this] { return !m_threadRunning; });
    --m_waitingStops;
    m_streaming = false;
    std::thread finished = std::move(m_thread);
    lock.unlock();
    if (finished.joinable())
        finished.join();
}

std::string InputStream::problem()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_present ? m_sourceProblem : "the card has been removed";
}

void InputStream::unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_present = false;
    m_wake.notify_all();
}

void InputStream::setSignal(const DisplayModeInfo* mode)
{
    if (mode)
        m_source->prepare(*mode);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signal = mode;
    m_reportedSignal = nullptr;
    m_wake.notify_all();
}

void InputStream::shutdown()
{
    std::thread finished;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_present = false;
        m_streaming = false;
        m_wake.notify_all();
        if (onOwnThread()) {
            // Released from within its own callback: the loop ends after it, the thread keeps this alive.
            m_thread.detach();
        } else {
            ++m_waitingStops;
            m_wake.wait(lock, [this] { return !m_threadRunning; });
            --m_waitingStops;
            finished = std::move(m_thread);
        }
    }
    if (finished.joinable())
        finished.join();
    m_callbacks.drop();
}

void InputStream::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_streaming && m_waitingStops == 0) {
        if (!m_present) {
            m_wake.wait(lock);
            continue;
        }
        const DisplayModeInfo& mode = *m_mode;
        const SteadyClock::time_point due = m_clock->instant(m_nextIndex, mode);
        const SteadyClock::time_point now = SteadyClock::now();
        if (now < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        const int64_t latest = m_clock->nextIndexAfter(now, mode) - 1;
        const int64_t buffered = bufferSeconds * mode.timeScale / mode.frameDuration;
        if (latest - m_nextIndex >= buffered)
            m_nextIndex = latest - buffered + 1;

        const uint64_t generation = m_generation;
        const int64_t index = m_nextIndex;
        {
            Delivery delivery = nextDelivery(index);
            lock.unlock();
            deliver(delivery);
        } // the callbacks are let go before the lock is taken again
        lock.lock();
        // A restart from within the callback has set the stream's next frame itself.
        if (m_generation == generation)
            m_nextIndex = index + 1;
    }
    m_threadRunning = false;
    m_wake.notify_all();
}

InputStream::Delivery InputStream::nextDelivery(int64_t index)
{
    Delivery delivery;
    delivery.mode = m_mode;
    delivery.signal = m_signal;
    delivery.index = index;
    delivery.streamIndex = index - m_firstIndex;
    delivery.callbacks = m_callbacks.hold();
    // Detection reports a signal in another mode once; the frames meanwhile are black.
    if (delivery.callbacks.callback && m_signal && m_signal != m_mode && m_detection &&
        m_reportedSignal != m_signal) {
        delivery.formatChange = true;
        m_reportedSignal = m_signal;
    }
    return delivery;
}

void InputStream::deliver(Delivery& delivery)
{
    const DisplayModeInfo& mode = *delivery.mode;
    if (delivery.formatChange) {
        delivery.callbacks.formatChanged(*delivery.signal);
        return;
    }
    if (!delivery.callbacks)
        return;

    const bool hasSignal = delivery.signal == delivery.mode;
    std::shared_ptr<const Picture> picture;
    std::string sourceProblem;
    if (hasSignal) {
        try {
            picture = m_source->picture(mode, m_clock->seconds(delivery.index, mode));
        } catch (const cv::Exception& e) {
            sourceProblem = std::string("no picture from its source: ") + e.what();
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (sourceProblem != m_sourceProblem && !sourceProblem.empty())
            std::cerr << "virtual cards: " << m_settings->name << ": " << sourceProblem << std::endl;
        m_sourceProblem = sourceProblem;
    }
    const bool valid = picture != nullptr;
    if (!valid)
        picture = blackPicture(mode);

    const FrameLayout layout{mode.width, mode.height, 2L * mode.width, bmdFormat8BitYUV, std::nullopt};
    BufferPool::Buffer pixels = m_pool->acquire(static_cast<size_t>(layout.rowBytes * layout.height));
    cv::Mat frame(mode.height, mode.width, CV_8UC2, pixels.get(), static_cast<size_t>(layout.rowBytes));
    picture->uyvy.copyTo(frame);

    InputFrameInfo info;
    info.displayMode = mode.code;
    // Frame `index` of the card's clock, whose frame 0 lies originNs after the origin of the hardware
    // reference clock, exactly: in units of 1/(1e9 x the mode's time scale) seconds.
    const __int128 frameUnits = static_cast<__int128>(mode.frameDuration) * nanosecondsPerSecond;
    info.unitsPerSecond = nanosecondsPerSecond * mode.timeScale;
    info.hardwareTime =
        static_cast<__int128>(m_clock->originNs()) * mode.timeScale + delivery.index * frameUnits;
    info.streamTime = delivery.streamIndex * frameUnits;
    info.duration = frameUnits;
    if (valid) {
        info.timecodeFormats = m_settings->timecodes;
        info.timecode = m_clock->timecode(delivery.index, mode, m_settings->userBits);
        if (m_settings->burnInTimecode) {
            const TimecodeOverlay& overlay =
                timecodeOverlay(mode.height, colourMatrixFor(mode.width, mode.height));
            for (const cv::Rect& view : picture->views)
                overlay.draw(frame, view, *info.timecode);
        }
    }
    auto* inputFrame = new CardInputFrame(layout, valid ? bmdFrameFlagDefault : bmdFrameHasNoInputSource,
                                          std::move(pixels), std::move(info));
    delivery.callbacks.deliver(inputFrame);
    inputFrame->Release();
}

} // namespace virtualcards
