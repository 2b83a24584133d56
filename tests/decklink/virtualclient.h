#pragma once

// A small client of the virtual cards for the driver's tests: callbacks that
// record what the driver reports (reference counted like the test doubles of
// the capture tests, so a test sees that the driver gave back every reference
// it took), and the interfaces of a card held for a test.

#include "common/framedoubles.h"

#include <chrono>
#include <decklink/virtualcards.h>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using SteadyClock = std::chrono::steady_clock;

// The display name of a card, "" when it gives none.
std::string displayName(IDeckLink* card);

class NotificationRecorder : public CountedDouble<IDeckLinkDeviceNotificationCallback>
{
public:
    struct Report
    {
        bool arrived;
        IDeckLink* card;
        std::string name;
    };

    ~NotificationRecorder() override;
    HRESULT DeckLinkDeviceArrived(IDeckLink* card) override;
    HRESULT DeckLinkDeviceRemoved(IDeckLink* card) override;

    std::vector<Report> reports() const;
    size_t count() const;
    // The present card of that name, held by the recorder; null if none.
    IDeckLink* card(const std::string& name) const;

    // Runs inside each notification, after it is recorded.
    std::function<void(bool arrived, IDeckLink* card)> hook;

private:
    mutable std::mutex m_mutex;
    std::vector<Report> m_reports;
    std::vector<IDeckLink*> m_present; // one reference each
};

struct ReceivedFrame
{
    long width = 0, height = 0, rowBytes = 0;
    BMDPixelFormat pixelFormat = 0;
    BMDFrameFlags flags = 0;
    BMDPixelFormat ancillaryPixelFormat = 0;
    BMDDisplayMode displayMode = 0;
    bool hasTimecode = false;
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    BMDTimecodeUserBits userBits = 0;
    BMDTimeValue hardwareTime = 0, hardwareDuration = 0;
    BMDTimeValue streamTime = 0, streamDuration = 0;
    SteadyClock::time_point arrival;

    // Frames counted from midnight at `rate` frames per second.
    long timecodeFrames(int rate) const { return ((hours * 60L + minutes) * 60L + seconds) * rate + frames; }
};

class InputRecorder : public CountedDouble<IDeckLinkInputCallback>
{
public:
    HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                    BMDDetectedVideoInputFormatFlags flags) override;
    HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame* frame,
                                   IDeckLinkAudioInputPacket* audio) override;

    std::vector<ReceivedFrame> frames() const;
    size_t frameCount() const;
    std::vector<BMDDisplayMode> formatChanges() const;
    // Waits (with the event loop running) until at least n frames have come.
    bool waitForFrames(size_t n, int timeoutMs = 10000) const;

    // Restarts `input` in a detected format, as the program's capture device does.
    IDeckLinkInput* followInput = nullptr;
    BMDTimecodeFormat timecodeFormat = bmdTimecodeRP188LTC;
    BMDTimeScale timeScale = 25000;
    // Runs inside each frame callback, after the frame is recorded.
    std::function<void(IDeckLinkVideoInputFrame*)> onFrame;

private:
    mutable std::mutex m_mutex;
    std::vector<ReceivedFrame> m_frames;
    std::vector<BMDDisplayMode> m_formatChanges;
};

// Finds the present cards by device notification and holds them.
class CardFinder
{
public:
    CardFinder();
    ~CardFinder();
    // Waits until `count` cards have arrived.
    bool waitForCards(size_t count);
    IDeckLink* card(const std::string& name) const { return m_recorder.card(name); }
    NotificationRecorder& recorder() { return m_recorder; }
    IDeckLinkDiscovery* discovery() const { return m_discovery; }

private:
    NotificationRecorder m_recorder;
    IDeckLinkDiscovery* m_discovery = nullptr;
};

// The input of a card, for a test: stopped and released on destruction, which
// also drops its callback: declare the callback before the handle.
class InputHandle
{
public:
    explicit InputHandle(IDeckLink* card);
    ~InputHandle();
    InputHandle(const InputHandle&) = delete;
    InputHandle& operator=(const InputHandle&) = delete;

    IDeckLinkInput* operator->() const { return m_input; }
    IDeckLinkInput* get() const { return m_input; }
    // SetCallback, EnableVideoInput and StartStreams; the first failing result, else S_OK.
    HRESULT start(InputRecorder& recorder, BMDDisplayMode mode, BMDVideoInputFlags flags = 0);

private:
    IDeckLinkInput* m_input = nullptr;
};
