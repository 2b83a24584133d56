#pragma once

// Test doubles of the driver objects. Reference counts are tracked but the
// objects are owned by the test (never deleted by Release), so a test can
// check that every object handed out was released exactly once: its count
// ends at 0, not above (leak) and not below (one Release too many).

#include <decklink/DeckLinkAPI.h>

#include <atomic>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

template <class Interface> class CountedDouble : public Interface
{
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_INVALIDARG;
        *out = nullptr;
        if (iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refCount); }
    ULONG Release() override { return static_cast<ULONG>(--refCount); }
    ~CountedDouble() override = default;

    std::atomic<int> refCount{1};
};

class TimecodeDouble : public CountedDouble<IDeckLinkTimecode>
{
public:
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    BMDTimecodeUserBits userBits = 0;
    bool componentsFail = false;
    bool userBitsFail = false;

    HRESULT GetComponents(uint8_t* h, uint8_t* m, uint8_t* s, uint8_t* f) override
    {
        if (componentsFail)
            return E_FAIL;
        *h = hours, *m = minutes, *s = seconds, *f = frames;
        return S_OK;
    }
    HRESULT GetTimecodeUserBits(BMDTimecodeUserBits* bits) override
    {
        if (userBitsFail)
            return E_FAIL;
        *bits = userBits;
        return S_OK;
    }
};

class AncillaryDouble : public CountedDouble<IDeckLinkVideoFrameAncillary>
{
public:
    BMDPixelFormat pixelFormat = bmdFormat8BitYUV;
    BMDDisplayMode displayMode = bmdModeHD1080p25;
    BMDPixelFormat GetPixelFormat() override { return pixelFormat; }
    BMDDisplayMode GetDisplayMode() override { return displayMode; }
};

// A frame whose pixels live in a cv::Mat (BGRA for created frames, UYVY for input).
template <class Interface> class FrameDoubleBase : public CountedDouble<Interface>
{
public:
    cv::Mat pixels;
    BMDPixelFormat format = bmdFormat8BitYUV;
    BMDFrameFlags flags = bmdFrameFlagDefault;

    long GetWidth() override { return pixels.cols; }
    long GetHeight() override { return pixels.rows; }
    long GetRowBytes() override { return static_cast<long>(pixels.step); }
    BMDPixelFormat GetPixelFormat() override { return format; }
    BMDFrameFlags GetFlags() override { return flags; }
    HRESULT GetBytes(void** buffer) override
    {
        *buffer = pixels.data;
        return pixels.data ? S_OK : E_FAIL;
    }
    HRESULT GetTimecode(BMDTimecodeFormat, IDeckLinkTimecode**) override { return E_FAIL; }
    HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary**) override { return E_FAIL; }
};

class MutableFrameDouble : public FrameDoubleBase<IDeckLinkMutableVideoFrame>
{
public:
    HRESULT SetFlags(BMDFrameFlags) override { return S_OK; }
};

class InputFrameDouble : public FrameDoubleBase<IDeckLinkVideoInputFrame>
{
public:
    std::map<BMDTimecodeFormat, std::unique_ptr<TimecodeDouble>> timecodes;
    std::unique_ptr<AncillaryDouble> ancillary = std::make_unique<AncillaryDouble>();
    BMDTimeValue hardwareTime = 0; // in 1/25000 s
    BMDTimeValue streamTime = 0;
    bool hardwareTimeFails = false;
    bool streamTimeFails = false;
    std::vector<BMDTimecodeFormat> timecodeRequests;

    TimecodeDouble& addTimecode(BMDTimecodeFormat format, uint8_t h, uint8_t m, uint8_t s, uint8_t f,
                                BMDTimecodeUserBits bits = 0)
    {
        auto& tc = timecodes[format];
        tc = std::make_unique<TimecodeDouble>();
        tc->hours = h, tc->minutes = m, tc->seconds = s, tc->frames = f, tc->userBits = bits;
        return *tc;
    }

    HRESULT GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode) override
    {
        timecodeRequests.push_back(format);
        *timecode = nullptr;
        auto it = timecodes.find(format);
        if (it == timecodes.end())
            return E_FAIL;
        *timecode = it->second.get(); // handed out with the count it was made with (1)
        return S_OK;
    }
    HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** out) override
    {
        *out = ancillary.get();
        return ancillary ? S_OK : E_FAIL;
    }
    HRESULT GetStreamTime(BMDTimeValue* time, BMDTimeValue* duration, BMDTimeScale scale) override
    {
        if (streamTimeFails)
            return E_FAIL;
        *time = streamTime * scale / 25000;
        *duration = scale / 25;
        return S_OK;
    }
    HRESULT GetHardwareReferenceTimestamp(BMDTimeScale scale, BMDTimeValue* time,
                                          BMDTimeValue* duration) override
    {
        if (hardwareTimeFails)
            return E_FAIL;
        *time = hardwareTime * scale / 25000;
        *duration = scale / 25;
        return S_OK;
    }
};

class OutputDouble : public CountedDouble<IDeckLinkOutput>
{
public:
    std::vector<std::unique_ptr<MutableFrameDouble>> created;
    bool fails = false;
    bool reuseFrames = false; // hand out the first frame again (a driver's frame pool)

    HRESULT CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat format,
                             BMDFrameFlags, IDeckLinkMutableVideoFrame** frame) override
    {
        *frame = nullptr;
        if (fails || width <= 0 || height <= 0 || rowBytes < 4 * width || format != bmdFormat8BitBGRA)
            return E_FAIL;
        if (reuseFrames && !created.empty() && created.front()->pixels.size() == cv::Size(width, height)) {
            created.front()->refCount = 1;
            *frame = created.front().get();
            return S_OK;
        }
        auto made = std::make_unique<MutableFrameDouble>();
        made->format = format;
        made->pixels = cv::Mat(height, width, CV_8UC4, cv::Scalar::all(0));
        *frame = made.get();
        created.push_back(std::move(made));
        return S_OK;
    }
};

// Converts UYVY input by writing a known BGRA pattern derived from the input
// bytes, so a test can predict every output pixel; into the program's BGR too
// unless told it is a driver that does not know that format.
class ConversionDouble : public CountedDouble<IDeckLinkVideoConversion>
{
public:
    bool fails = false;
    bool knowsProgramBgr = true;
    int calls = 0;
    HRESULT ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination) override;
};
