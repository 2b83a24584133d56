#include "virtualclient.h"

#include <QtTest>
#include <algorithm>

std::string displayName(IDeckLink* card)
{
    BSTR name = nullptr;
    if (card->GetDisplayName(&name) != S_OK || !name)
        return {};
    const std::string text = QString::fromUtf16(name).toStdString();
    SysFreeString(name);
    return text;
}

NotificationRecorder::~NotificationRecorder()
{
    for (IDeckLink* card : m_present)
        card->Release();
}

HRESULT NotificationRecorder::DeckLinkDeviceArrived(IDeckLink* card)
{
    card->AddRef();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(Report{true, card, displayName(card)});
        m_present.push_back(card);
    }
    if (hook)
        hook(true, card);
    return S_OK;
}

HRESULT NotificationRecorder::DeckLinkDeviceRemoved(IDeckLink* card)
{
    bool held = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(Report{false, card, displayName(card)});
        auto it = std::find(m_present.begin(), m_present.end(), card);
        held = it != m_present.end();
        if (held)
            m_present.erase(it);
    }
    if (hook)
        hook(false, card);
    if (held)
        card->Release();
    return S_OK;
}

std::vector<NotificationRecorder::Report> NotificationRecorder::reports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

size_t NotificationRecorder::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports.size();
}

IDeckLink* NotificationRecorder::card(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (IDeckLink* card : m_present)
        for (const Report& report : m_reports)
            if (report.card == card && report.arrived && report.name == name)
                return card;
    return nullptr;
}

HRESULT InputRecorder::VideoInputFormatChanged(BMDVideoInputFormatChangedEvents,
                                               IDeckLinkDisplayMode* newMode,
                                               BMDDetectedVideoInputFormatFlags)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_formatChanges.push_back(newMode->GetDisplayMode());
    }
    if (followInput) {
        followInput->StopStreams();
        if (followInput->EnableVideoInput(newMode->GetDisplayMode(), bmdFormat8BitYUV,
                                          bmdVideoInputEnableFormatDetection) == S_OK)
            followInput->StartStreams();
    }
    return S_OK;
}

HRESULT InputRecorder::VideoInputFrameArrived(IDeckLinkVideoInputFrame* frame, IDeckLinkAudioInputPacket*)
{
    ReceivedFrame received;
    received.arrival = SteadyClock::now();
    received.width = frame->GetWidth();
    received.height = frame->GetHeight();
    received.rowBytes = frame->GetRowBytes();
    received.pixelFormat = frame->GetPixelFormat();
    received.flags = frame->GetFlags();
    IDeckLinkVideoFrameAncillary* ancillary = nullptr;
    if (frame->GetAncillaryData(&ancillary) == S_OK && ancillary) {
        received.ancillaryPixelFormat = ancillary->GetPixelFormat();
        received.displayMode = ancillary->GetDisplayMode();
        ancillary->Release();
    }
    IDeckLinkTimecode* timecode = nullptr;
    if (frame->GetTimecode(timecodeFormat, &timecode) == S_OK && timecode) {
        received.hasTimecode = timecode->GetComponents(&received.hours, &received.minutes, &received.seconds,
                                                       &received.frames) == S_OK &&
                               timecode->GetTimecodeUserBits(&received.userBits) == S_OK;
        timecode->Release();
    }
    frame->GetHardwareReferenceTimestamp(timeScale, &received.hardwareTime, &received.hardwareDuration);
    frame->GetStreamTime(&received.streamTime, &received.streamDuration, timeScale);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames.push_back(received);
    }
    if (onFrame)
        onFrame(frame);
    return S_OK;
}

std::vector<ReceivedFrame> InputRecorder::frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

size_t InputRecorder::frameCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
}

std::vector<BMDDisplayMode> InputRecorder::formatChanges() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_formatChanges;
}

bool InputRecorder::waitForFrames(size_t n, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return frameCount() >= n; }, timeoutMs);
}

CardFinder::CardFinder()
{
    if (DeckLinkCreateInstance(CLSID_CDeckLinkDiscovery, IID_IDeckLinkDiscovery,
                               reinterpret_cast<void**>(&m_discovery)) == S_OK)
        m_discovery->InstallDeviceNotifications(&m_recorder);
}

CardFinder::~CardFinder()
{
    if (m_discovery) {
        m_discovery->UninstallDeviceNotifications();
        m_discovery->Release();
    }
}

bool CardFinder::waitForCards(size_t count)
{
    return m_discovery && QTest::qWaitFor([&] { return m_recorder.count() >= count; }, 10000);
}

InputHandle::InputHandle(IDeckLink* card)
{
    if (card)
        card->QueryInterface(IID_IDeckLinkInput, reinterpret_cast<void**>(&m_input));
}

InputHandle::~InputHandle()
{
    if (m_input) {
        m_input->StopStreams();
        m_input->SetCallback(nullptr);
        m_input->Release();
    }
}

HRESULT InputHandle::start(InputRecorder& recorder, BMDDisplayMode mode, BMDVideoInputFlags flags)
{
    if (!m_input)
        return E_NOINTERFACE;
    HRESULT result = m_input->SetCallback(&recorder);
    if (result == S_OK)
        result = m_input->EnableVideoInput(mode, bmdFormat8BitYUV, flags);
    if (result == S_OK)
        result = m_input->StartStreams();
    return result;
}
