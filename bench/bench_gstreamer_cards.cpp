// Cost of the GStreamer cards: one 1080p50 UYVY pipeline card delivering to
// the frame callback, beside the same pipeline into a fakesink, measured in one
// run: share of one core (process CPU time over wall time) and the frames
// delivered over 20 s against the frames the rate makes. The difference of the
// two shares is what the driver adds per stream.

#include "processcpu.h"
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <decklink/DeckLinkAPI.h>
#include <decklink/gstreamercards.h>
#include <gst/gst.h>
#include <thread>

namespace {

constexpr double kSeconds = 20.0;
constexpr double kRate = 50.0;
const char* const kSource = "videotestsrc is-live=true pattern=smpte ! "
                            "video/x-raw,format=UYVY,width=1920,height=1080,framerate=50/1";

class FrameCounter : public IDeckLinkInputCallback
{
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents, IDeckLinkDisplayMode*,
                                    BMDDetectedVideoInputFormatFlags) override
    {
        return S_OK;
    }
    HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* frame, IDeckLinkAudioInputPacket*) override
    {
        void* bytes = nullptr;
        // A frame with its picture: the client reads from the mapped buffer.
        if (frame->GetFlags() == 0 && frame->GetBytes(&bytes) == S_OK && bytes)
            checksum += static_cast<const uint8_t*>(bytes)[0], ++frames;
        return S_OK;
    }
    std::atomic<long> frames{0};
    std::atomic<long> checksum{0};
};

void report(benchmark::State& state, double cpu, double wall, long frames)
{
    state.counters["core_percent"] = 100.0 * cpu / wall;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["delivered_percent"] = 100.0 * frames / (wall * kRate);
}

void BM_PipelineIntoFakesink(benchmark::State& state)
{
    gst_init(nullptr, nullptr);
    for (auto _ : state) {
        GstElement* pipeline = gst_parse_launch(
            (std::string(kSource) + " ! fakesink name=sink sync=true signal-handoffs=false").c_str(),
            nullptr);
        const double cpu0 = processCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        guint64 rendered = 0;
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
        GstStructure* stats = nullptr;
        g_object_get(sink, "stats", &stats, nullptr);
        gst_structure_get_uint64(stats, "rendered", &rendered);
        gst_structure_free(stats);
        gst_object_unref(sink);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        const double cpu = processCpuSeconds() - cpu0;
        gst_object_unref(pipeline);
        report(state, cpu, wall, static_cast<long>(rendered));
    }
}

void BM_PipelineCardToCallback(benchmark::State& state)
{
    gstreamercards::setPipelineCards({cardcommon::PipelineCardSettings{
        "Bench", kSource, {cardcommon::findDisplayMode(bmdModeHD1080p50)}, false, {}}});
    std::vector<IDeckLink*> cards = gstreamercards::presentCardObjects();
    IDeckLinkInput* input = nullptr;
    cards.at(0)->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(&input));
    FrameCounter counter;
    input->SetCallback(&counter);
    for (auto _ : state) {
        counter.frames = 0;
        input->EnableVideoInput(bmdModeHD1080p50, bmdFormat8BitYUV, 0);
        const double cpu0 = processCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        input->StartStreams();
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const long frames = counter.frames;
        input->StopStreams();
        const double cpu = processCpuSeconds() - cpu0;
        report(state, cpu, wall, frames);
    }
    input->SetCallback(nullptr);
    input->Release();
    for (IDeckLink* card : cards)
        card->Release();
    gstreamercards::setPipelineCards({});
}

} // namespace

// One 20 s run each, the fakesink first; the start-up of a pipeline is part of both.
BENCHMARK(BM_PipelineIntoFakesink)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PipelineCardToCallback)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
