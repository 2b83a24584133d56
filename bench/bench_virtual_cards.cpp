// Costs of the virtual cards: delivering two genlocked 1080p50 streams (share
// of one core, process CPU time over wall time), beside the copy of a 1080p
// frame that bounds it; ConvertFrame at 1080p beside cv::cvtColor; reading a
// configuration of many cards beside OpenCV's parse of its text.

#include "processcpu.h"
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <decklink/DeckLinkAPI.h>
#include <decklink/virtualcards.h>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>
#include <vector>

namespace {

// Collects the cards as they arrive; the driver's references are held until the end.
class Arrivals : public IDeckLinkDeviceNotificationCallback
{
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT DeckLinkDeviceArrived(IDeckLink* card) override
    {
        card->AddRef();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cards.push_back(card);
        m_arrived.notify_all();
        return S_OK;
    }
    HRESULT DeckLinkDeviceRemoved(IDeckLink*) override { return S_OK; }

    std::vector<IDeckLink*> waitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_arrived.wait(lock, [&] { return m_cards.size() >= count; });
        return m_cards;
    }
    ~Arrivals()
    {
        for (IDeckLink* card : m_cards)
            card->Release();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<IDeckLink*> m_cards;
};

// A client that reads what the program reads from each frame but converts nothing.
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
        IDeckLinkTimecode* timecode = nullptr;
        if (frame->GetTimecode(bmdTimecodeRP188LTC, &timecode) == S_OK)
            timecode->Release();
        BMDTimeValue time = 0, duration = 0;
        frame->GetHardwareReferenceTimestamp(25000, &time, &duration);
        ++frames;
        return S_OK;
    }
    std::atomic<long> frames{0};
};

void BM_DeliverTwoGenlocked1080p50(benchmark::State& state)
{
    virtualcards::configure(R"yaml(
cards:
  - { name: L, signal: Hp50, genlock: rig, source: { kind: rig, view: left } }
  - { name: R, signal: Hp50, genlock: rig, source: { kind: rig, view: right } }
)yaml");
    IDeckLinkDiscovery* discovery = nullptr;
    DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                           reinterpret_cast<void**>(&discovery));
    Arrivals arrivals;
    discovery->InstallDeviceNotifications(&arrivals);
    std::vector<IDeckLinkInput*> inputs;
    FrameCounter counters[2];
    const std::vector<IDeckLink*> cards = arrivals.waitFor(2);
    for (size_t i = 0; i < 2; ++i) {
        IDeckLinkInput* input = nullptr;
        cards[i]->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(&input));
        input->SetCallback(&counters[i]);
        input->EnableVideoInput(bmdModeHD1080p50, bmdFormat8BitYUV, 0);
        input->StartStreams(); // renders the rig, before the measurement
        inputs.push_back(input);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (auto _ : state) {
        const long before = counters[0].frames + counters[1].frames;
        const double cpu = processCpuSeconds();
        const auto wall = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
        state.SetIterationTime(seconds);
        state.counters["core_percent"] = 100.0 * (processCpuSeconds() - cpu) / seconds;
        state.counters["frames_per_second"] = (counters[0].frames + counters[1].frames - before) / seconds;
    }
    for (IDeckLinkInput* input : inputs) {
        input->StopStreams();
        input->SetCallback(nullptr);
        input->Release();
    }
    discovery->UninstallDeviceNotifications();
    discovery->Release();
}
BENCHMARK(BM_DeliverTwoGenlocked1080p50)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The floor of delivery: one copy of a rendered 1080p frame per frame.
void BM_CopyFrame1080p(benchmark::State& state)
{
    cv::Mat picture(1080, 1920, CV_8UC2, cv::Scalar(128, 16)), frame(1080, 1920, CV_8UC2);
    for (auto _ : state) {
        picture.copyTo(frame);
        benchmark::DoNotOptimize(frame.data);
    }
}
BENCHMARK(BM_CopyFrame1080p)->Unit(benchmark::kMicrosecond);

struct ConversionFrames
{
    IDeckLinkVideoConversion* conversion = nullptr;
    IDeckLinkOutput* output = nullptr;
    IDeckLinkMutableVideoFrame* source = nullptr;
    IDeckLinkMutableVideoFrame* destination = nullptr;
    Arrivals arrivals;
    IDeckLinkDiscovery* discovery = nullptr;

    explicit ConversionFrames(BMDPixelFormat destinationFormat = bmdFormat8BitBGRA)
    {
        virtualcards::configure("cards: [ { name: A, source: { kind: bars } } ]");
        DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                               reinterpret_cast<void**>(&discovery));
        discovery->InstallDeviceNotifications(&arrivals);
        arrivals.waitFor(1)[0]->QueryInterface(IID_IDeckLinkOutput, reinterpret_cast<void**>(&output));
        DeckLinkCreateInstance(CLSID_CDeckLinkVideoConversion, IID_IDeckLinkVideoConversion,
                               reinterpret_cast<void**>(&conversion));
        output->CreateVideoFrame(1920, 1080, 2 * 1920, bmdFormat8BitYUV, bmdFrameFlagDefault, &source);
        output->CreateVideoFrame(1920, 1080, (destinationFormat == bmdFormat8BitBGR ? 3 : 4) * 1920,
                                 destinationFormat, bmdFrameFlagDefault, &destination);
        void* bytes = nullptr;
        source->GetBytes(&bytes);
        cv::Mat uyvy(1080, 1920, CV_8UC2, bytes);
        cv::randu(uyvy, 16, 240);
    }
    ~ConversionFrames()
    {
        destination->Release();
        source->Release();
        conversion->Release();
        output->Release();
        discovery->UninstallDeviceNotifications();
        discovery->Release();
    }
};

void BM_ConvertFrame1080p(benchmark::State& state)
{
    ConversionFrames frames;
    for (auto _ : state)
        frames.conversion->ConvertFrame(frames.source, frames.destination);
}
BENCHMARK(BM_ConvertFrame1080p)->Unit(benchmark::kMicrosecond)->UseRealTime();

// What the program gets: its BGR in one pass, against the card's BGRA and the
// program's conversion of that to BGR, the way before.
void BM_ConvertFrame1080pToProgramBgr(benchmark::State& state)
{
    ConversionFrames frames(bmdFormat8BitBGR);
    for (auto _ : state)
        frames.conversion->ConvertFrame(frames.source, frames.destination);
}
BENCHMARK(BM_ConvertFrame1080pToProgramBgr)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ConvertFrame1080pToBgraThenBgr(benchmark::State& state)
{
    ConversionFrames frames;
    void* bytes = nullptr;
    frames.destination->GetBytes(&bytes);
    const cv::Mat bgra(1080, 1920, CV_8UC4, bytes);
    for (auto _ : state) {
        frames.conversion->ConvertFrame(frames.source, frames.destination);
        cv::Mat bgr(1080, 1920, CV_8UC3);
        cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
        benchmark::DoNotOptimize(bgr.data);
    }
}
BENCHMARK(BM_ConvertFrame1080pToBgraThenBgr)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_CvtColorUyvyToBgra1080p(benchmark::State& state)
{
    cv::Mat uyvy(1080, 1920, CV_8UC2), bgra(1080, 1920, CV_8UC4);
    cv::randu(uyvy, 16, 240);
    for (auto _ : state)
        cv::cvtColor(uyvy, bgra, cv::COLOR_YUV2BGRA_UYVY);
}
BENCHMARK(BM_CvtColorUyvyToBgra1080p)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Reading a configuration of many cards, beside OpenCV's parse of the same
// text, which bounds it: the time per card must not grow with the count.
std::string manyCards(int count)
{
    std::string text = "cards:\n";
    for (int i = 0; i < count; ++i)
        text += "  - { name: \"Card " + std::to_string(i) +
                "\", plugged: false, genlock: rig, timecodeStart: \"10:00:00:00\", modes: [Hp25, Hp50], "
                "source: { kind: bars } }\n";
    return text;
}

void BM_ConfigureManyCards(benchmark::State& state)
{
    const std::string text = manyCards(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (!virtualcards::configure(text))
            state.SkipWithError("configuration refused");
    }
    virtualcards::configure("cards: []");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ConfigureManyCards)
    ->RangeMultiplier(4)
    ->Range(1250, 80000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_FileStorageManyCards(benchmark::State& state)
{
    const std::string text = "%YAML:1.0\n" + manyCards(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        cv::FileStorage storage(text, cv::FileStorage::READ | cv::FileStorage::MEMORY);
        benchmark::DoNotOptimize(storage.root().size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FileStorageManyCards)
    ->RangeMultiplier(4)
    ->Range(1250, 80000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace

BENCHMARK_MAIN();
