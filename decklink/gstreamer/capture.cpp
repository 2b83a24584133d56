#include "capture.h"

#include "modes.h"
#include "problems.h"

#include <decklink/gstreamercards.h>

#include <algorithm>
#include <cstring>
#include <gst/app/gstappsink.h>
#include <gst/pbutils/missing-plugins.h>
#include <gst/video/gstvideotimecode.h>
#include <gst/video/video.h>

namespace gstreamercards {

namespace {

const char* const sinkName = "duoscope_sink";
// What the pipeline ends in: the picture in the cards' pixel format, handed to the driver thread.
const char* const pipelineEnd = "videoconvert ! video/x-raw,format=UYVY ! appsink name=duoscope_sink";
// A client that falls behind loses the oldest frames, as with hardware.
constexpr guint queuedFrames = 8;

// UYVY black in video range.
void fillBlack(uint8_t* pixels, size_t bytes)
{
    static const uint8_t pair[4] = {128, 16, 128, 16};
    for (size_t i = 0; i + 4 <= bytes; i += 4)
        std::memcpy(pixels + i, pair, 4);
}

// The start of the frame period of the shared clock that holds `instant`. Sources that run free of
// each other, at one rate, give the frames they capture in the same period the same hardware time, so
// that the program pairs them as genlocked cards; a frame's time is early by less than a frame.
int64_t frameSlotStart(int64_t instant, const DisplayModeInfo& mode)
{
    const __int128 slotUnits = static_cast<__int128>(mode.frameDuration) * nanosecondsPerSecond;
    const int64_t slot = floorDivide(static_cast<__int128>(instant) * mode.timeScale, slotUnits);
    return floorDivide(static_cast<__int128>(slot) * slotUnits, mode.timeScale);
}

} // namespace

struct CaptureStream::Run
{
    GstElement* pipeline = nullptr;
    GstAppSink* sink = nullptr;   // owned by the pipeline
    bool modeIndependent = false; // the pipeline sends what it gets, whatever mode is enabled

    // Under m_mutex
    DisplayModeInfo mode{};
    bool detection = false;
    bool stopping = false;
    BMDDisplayMode reported = 0; // the signal's mode last reported as a format change
    std::thread thread;

    // The driver thread's own
    GstCaps* caps = nullptr;
    GstVideoInfo info{};
    DisplayModeInfo signal{};
    bool ended = false;

    Run() = default;
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    ~Run()
    {
        if (caps)
            gst_caps_unref(caps);
        if (pipeline) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
    }
};

CaptureStream::CaptureStream(std::shared_ptr<const CardDescription> card)
    : StreamControl(card->formatDetection), m_card(std::move(card))
{}

CaptureStream::~CaptureStream()
{
    m_callbacks.drop();
}

const DisplayModeInfo* CaptureStream::findModeLocked(BMDDisplayMode code) const
{
    for (const DisplayModeInfo& mode : m_card->modes)
        if (mode.code == code)
            return &mode;
    for (const DisplayModeInfo& mode : m_detected)
        if (mode.code == code)
            return &mode;
    return nullptr;
}

std::vector<DisplayModeInfo> CaptureStream::modes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<DisplayModeInfo> result = m_card->modes;
    result.insert(result.end(), m_detected.begin(), m_detected.end());
    return result;
}

bool CaptureStream::build(Run& run, std::string& error)
{
    GError* gerror = nullptr;
    if (!m_card->pipeline.empty()) {
        const std::string description = m_card->pipeline + " ! " + pipelineEnd;
        GstParseContext* context = gst_parse_context_new();
        GstElement* pipeline =
            gst_parse_launch_full(description.c_str(), context, GST_PARSE_FLAG_FATAL_ERRORS, &gerror);
        if (!pipeline || gerror || !GST_IS_PIPELINE(pipeline)) {
            error = (gerror ? gerror->message : "not a pipeline") + missingElementHints(context);
            gst_parse_context_free(context);
            if (gerror)
                g_error_free(gerror);
            if (pipeline)
                gst_object_unref(pipeline);
            return false;
        }
        gst_parse_context_free(context);
        run.pipeline = pipeline;
        run.modeIndependent = true;
    } else {
        GstElement* source = gst_device_create_element(m_card->device, nullptr);
        if (!source) {
            error = "GStreamer could not open the device";
            return false;
        }
        const bool decklink = g_object_class_find_property(G_OBJECT_GET_CLASS(source), "mode") &&
                              g_object_class_find_property(G_OBJECT_GET_CLASS(source), "video-format");
        std::string end = pipelineEnd;
        if (decklink) {
            const char* nick = decklinkModeNick(run.mode.code);
            if (run.detection || !nick) {
                gst_util_set_object_arg(G_OBJECT(source), "mode", "auto");
                gst_util_set_object_arg(G_OBJECT(source), "video-format", "auto");
                run.modeIndependent = true;
            } else {
                gst_util_set_object_arg(G_OBJECT(source), "mode", nick);
                gst_util_set_object_arg(G_OBJECT(source), "video-format", "8bit-yuv");
            }
        } else {
            // Other devices are told the mode through the caps they negotiate.
            end = "capsfilter caps=\"video/x-raw,width=" + std::to_string(run.mode.width) +
                  ",height=" + std::to_string(run.mode.height) +
                  ",framerate=" + std::to_string(run.mode.timeScale) + "/" +
                  std::to_string(run.mode.frameDuration) + "\" ! " + end;
        }
        GstElement* rest = gst_parse_bin_from_description(end.c_str(), TRUE, &gerror);
        if (!rest) {
            error = gerror ? gerror->message : "the pipeline's end could not be made";
            if (gerror)
                g_error_free(gerror);
            gst_object_unref(source);
            return false;
        }
        run.pipeline = gst_pipeline_new(nullptr);
        gst_bin_add_many(GST_BIN(run.pipeline), source, rest, nullptr);
        if (!gst_element_link(source, rest)) {
            error = "the device does not send " + run.mode.name + " as raw video";
            return false;
        }
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(run.pipeline), sinkName);
    if (!sink || !GST_IS_APP_SINK(sink)) {
        if (sink)
            gst_object_unref(sink);
        error = std::string("the pipeline has no element named ") + sinkName;
        return false;
    }
    run.sink = GST_APP_SINK(sink);
    gst_object_unref(sink); // the pipeline keeps it
    gst_app_sink_set_max_buffers(run.sink, queuedFrames);
    gst_app_sink_set_drop(run.sink, TRUE);
    g_object_set(sink, "enable-last-sample", FALSE, nullptr);
    gst_pipeline_use_clock(GST_PIPELINE(run.pipeline), sharedClock());
    return true;
}

bool CaptureStream::play(Run& run, std::string& error)
{
    // A source that takes its time (a network, a valve) goes on starting on its own: the stream runs
    // without signal until its first frame comes, and a failure then is the reason it has none.
    if (gst_element_set_state(run.pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
        return true;
    error.clear();
    GstBus* bus = gst_element_get_bus(run.pipeline);
    while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        if (error.empty())
            error = errorText(message);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    if (error.empty())
        error = "GStreamer could not start the pipeline";
    if (!m_card->pipeline.empty() ? m_card->pipeline.find("decklinkvideosrc") != std::string::npos
                                  : m_card->device != nullptr)
        error += " (is the card there, and the card vendor's desktop driver installed?)";
    return false;
}

bool CaptureStream::streamingLocked() const
{
    return m_run && !m_run->stopping;
}

HRESULT CaptureStream::beginLocked(std::unique_lock<std::mutex>& lock)
{
    if (m_run) { // stopping
        if (std::this_thread::get_id() == m_run->thread.get_id()) {
            // Restarted from within its own callback (a format change): a pipeline that sends whatever
            // it gets goes on in the new mode; another one ends after the callback.
            if (m_run->modeIndependent) {
                m_run->stopping = false;
                m_run->mode = *m_mode;
                m_run->detection = m_detection;
                m_run->reported = 0;
                return S_OK;
            }
            m_run->thread.detach();
            m_run.reset();
        } else {
            stopRun(lock);
        }
    }
    auto run = std::make_shared<Run>();
    run->mode = *m_mode;
    run->detection = m_detection;
    lock.unlock();

    std::string error;
    if (!build(*run, error) || !play(*run, error)) {
        setProblem(error, "cannot start");
        return E_FAIL;
    }
    setProblem({}, nullptr);
    lock.lock();
    if (m_run || !m_present) {
        lock.unlock();
        return m_present ? E_ACCESSDENIED : E_FAIL;
    }
    m_run = run;
    run->thread = std::thread([self = shared_from_this(), run] { self->deliverLoop(run); });
    return S_OK;
}

void CaptureStream::stopRun(std::unique_lock<std::mutex>& lock)
{
    std::shared_ptr<Run> run = std::move(m_run);
    run->stopping = true;
    m_wake.notify_all();
    lock.unlock();
    gst_element_set_state(run->pipeline, GST_STATE_NULL); // also wakes the thread's wait for a buffer
    if (run->thread.joinable())
        run->thread.join();
    run.reset();
    lock.lock();
}

void CaptureStream::endLocked(std::unique_lock<std::mutex>& lock)
{
    if (!m_run)
        return;
    if (std::this_thread::get_id() == m_run->thread.get_id()) {
        m_run->stopping = true; // the loop ends after this callback, unless it restarts
        m_wake.notify_all();
        return;
    }
    stopRun(lock);
}

void CaptureStream::unplug()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_present = false;
    if (!m_run)
        return;
    if (std::this_thread::get_id() == m_run->thread.get_id()) {
        m_run->stopping = true;
        m_wake.notify_all();
        return;
    }
    stopRun(lock);
}

void CaptureStream::shutdown()
{
    unplug();
    m_callbacks.drop();
}

bool CaptureStream::readBus(Run& run)
{
    bool ended = false;
    GstBus* bus = gst_element_get_bus(run.pipeline);
    while (GstMessage* message = gst_bus_pop_filtered(
               bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_ELEMENT))) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            setProblem(errorText(message), "lost its signal");
            ended = true;
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            setProblem("the stream ended", "lost its signal");
            ended = true;
        } else if (gst_is_missing_plugin_message(message)) {
            gchar* description = gst_missing_plugin_message_get_description(message);
            reportProblem(
                "\"" + m_card->name + "\" needs a GStreamer plugin for " +
                (description ? description : "its stream") +
                ": install gstreamer1.0-libav, gstreamer1.0-plugins-bad or gstreamer1.0-plugins-ugly");
            g_free(description);
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    return ended;
}

void CaptureStream::deliverLoop(const std::shared_ptr<Run>& run)
{
    std::unique_lock<std::mutex> lock(m_mutex); // start() has published this thread
    for (;;) {
        if (run->stopping)
            break;
        // Without a buffer for this long the card has no signal: black frames flagged so, a few a second.
        const GstClockTime patience = std::max<GstClockTime>(
            500 * GST_MSECOND,
            4 * gst_util_uint64_scale(GST_SECOND, run->mode.frameDuration, run->mode.timeScale));
        GstSample* sample = nullptr;
        if (!run->ended) {
            lock.unlock();
            sample = gst_app_sink_try_pull_sample(run->sink, patience);
            const bool ended = readBus(*run) || (!sample && gst_app_sink_is_eos(run->sink));
            lock.lock();
            if (run->stopping) {
                if (sample)
                    gst_sample_unref(sample);
                break;
            }
            if (ended && !run->ended && !sample) {
                run->ended = true;
                if (gst_app_sink_is_eos(run->sink)) {
                    lock.unlock();
                    setProblem("the stream ended", "lost its signal");
                    lock.lock();
                }
            }
        } else {
            m_wake.wait_for(lock, std::chrono::nanoseconds(patience), [&] { return run->stopping; });
            if (run->stopping)
                break;
        }
        lock.unlock();
        if (sample) {
            handleSample(*run, sample);
            gst_sample_unref(sample);
        } else {
            deliverNoSignal(*run);
        }
        lock.lock();
    }
    // Nobody waits for this thread when the stream was stopped from within its callback: it ends here.
    if (m_run == run) {
        m_run->thread.detach();
        m_run.reset();
    }
}

void CaptureStream::handleSample(Run& run, GstSample* sample)
{
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer)
        return;
    if (!run.caps || !gst_caps_is_equal(caps, run.caps)) {
        GstVideoInfo info;
        if (!gst_video_info_from_caps(&info, caps))
            return;
        run.info = info;
        gst_caps_replace(&run.caps, caps);
        run.signal =
            modeOf(info.width, info.height, info.fps_n, info.fps_d, GST_VIDEO_INFO_IS_INTERLACED(&info));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!findModeLocked(run.signal.code))
            m_detected.push_back(run.signal);
    }
    DisplayModeInfo mode;
    bool reportChange = false;
    const InputCallbacks::Held held = m_callbacks.hold();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (run.stopping)
            return;
        mode = run.mode;
        if (run.signal.code != mode.code && run.detection && run.reported != run.signal.code &&
            held.callback) {
            run.reported = run.signal.code;
            reportChange = true;
        }
    }
    if (reportChange) {
        // The frame that shows the change is the first of the new format: once the client has
        // followed the change, it is delivered in it.
        held.formatChanged(run.signal);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (run.stopping)
            return;
        mode = run.mode;
    }
    if (run.signal.code != mode.code) {
        deliverNoSignal(run); // the card is set to another mode than the signal's
        return;
    }

    auto* mapped = new GstVideoFrame;
    if (!gst_video_frame_map(mapped, &run.info, buffer, GST_MAP_READ)) {
        delete mapped;
        setProblem("its buffers hold " + std::to_string(gst_buffer_get_size(buffer)) + " bytes where " +
                       std::to_string(GST_VIDEO_INFO_WIDTH(&run.info)) + " x " +
                       std::to_string(GST_VIDEO_INFO_HEIGHT(&run.info)) + " pixels in " +
                       GST_VIDEO_INFO_NAME(&run.info) + " take " +
                       std::to_string(GST_VIDEO_INFO_SIZE(&run.info)) +
                       ": the source sends less than its format says",
                   "cannot be read");
        deliverNoSignal(run);
        return;
    }
    // The frame keeps the buffer mapped (and referenced) for as long as it lives.
    BufferPool::Buffer pixels(static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(mapped, 0)),
                              [mapped](uint8_t*) {
                                  gst_video_frame_unmap(mapped);
                                  delete mapped;
                              });
    const FrameLayout layout{GST_VIDEO_FRAME_WIDTH(mapped), GST_VIDEO_FRAME_HEIGHT(mapped),
                             GST_VIDEO_FRAME_PLANE_STRIDE(mapped, 0), bmdFormat8BitYUV,
                             colorimetryOf(run.info)};

    const bool noSignal = GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_GAP);
    InputFrameInfo info;
    info.displayMode = mode.code;
    info.timecodeFormats = m_card->timecodes;
    if (!noSignal)
        if (GstVideoTimeCodeMeta* meta = gst_buffer_get_video_time_code_meta(buffer))
            info.timecode = TimecodeValue{
                static_cast<uint8_t>(meta->tc.hours), static_cast<uint8_t>(meta->tc.minutes),
                static_cast<uint8_t>(meta->tc.seconds), static_cast<uint8_t>(meta->tc.frames), 0};
    const GstClockTime base = gst_element_get_base_time(run.pipeline);
    const GstSegment* segment = gst_sample_get_segment(sample);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    GstClockTime running = GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(pts) && segment && segment->format == GST_FORMAT_TIME)
        running = gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts);
    if (!GST_CLOCK_TIME_IS_VALID(running)) {
        const GstClockTime now = gst_clock_get_time(sharedClock());
        running = now > base ? now - base : 0;
    }
    info.streamTime = static_cast<int64_t>(running);
    GstClockTime captured = base + running;
    if (GstReferenceTimestampMeta* reference = gst_buffer_get_reference_timestamp_meta(buffer, nullptr))
        captured = reference->timestamp;
    info.hardwareTime = frameSlotStart(static_cast<int64_t>(captured), mode);
    info.duration =
        GST_BUFFER_DURATION_IS_VALID(buffer)
            ? static_cast<int64_t>(GST_BUFFER_DURATION(buffer))
            : static_cast<int64_t>(gst_util_uint64_scale(GST_SECOND, mode.frameDuration, mode.timeScale));
    if (!noSignal)
        setProblem({}, nullptr);
    auto* frame = new CardInputFrame(layout, noSignal ? bmdFrameHasNoInputSource : bmdFrameFlagDefault,
                                     std::move(pixels), std::move(info));
    m_callbacks.hold().deliver(frame);
    frame->Release();
}

void CaptureStream::deliverNoSignal(Run& run)
{
    DisplayModeInfo mode;
    const InputCallbacks::Held held = m_callbacks.hold();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (run.stopping || !held)
            return;
        mode = run.mode;
    }
    const FrameLayout layout{mode.width, mode.height, minimumRowBytes(bmdFormat8BitYUV, mode.width),
                             bmdFormat8BitYUV, std::nullopt};
    const size_t bytes = static_cast<size_t>(layout.rowBytes) * static_cast<size_t>(layout.height);
    BufferPool::Buffer pixels = m_blackPool->acquire(bytes);
    fillBlack(pixels.get(), bytes);
    InputFrameInfo info;
    info.displayMode = mode.code;
    const GstClockTime now = gst_clock_get_time(sharedClock());
    const GstClockTime base = gst_element_get_base_time(run.pipeline);
    info.hardwareTime = frameSlotStart(static_cast<int64_t>(now), mode);
    info.streamTime = now > base ? static_cast<int64_t>(now - base) : 0;
    info.duration =
        static_cast<int64_t>(gst_util_uint64_scale(GST_SECOND, mode.frameDuration, mode.timeScale));
    auto* frame = new CardInputFrame(layout, bmdFrameHasNoInputSource, std::move(pixels), std::move(info));
    held.deliver(frame);
    frame->Release();
}

std::string CaptureStream::problem()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_problem;
}

void CaptureStream::setProblem(const std::string& problem, const char* kind)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (problem == m_problem)
            return;
        m_problem = problem;
    }
    if (!problem.empty())
        reportProblem("\"" + m_card->name + "\" " + kind + ": " + problem);
}

} // namespace gstreamercards
