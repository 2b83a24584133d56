#pragma once

// The frames, timecodes and ancillary data the cards hand out.

#include "bufferpool.h"
#include "comobject.h"
#include "uyvyconversion.h"

#include <optional>
#include <vector>

namespace cardcommon {

constexpr int64_t nanosecondsPerSecond = 1000000000;

// floor(numerator / denominator) for a positive denominator: times before an
// origin round down like those after it.
inline int64_t floorDivide(__int128 numerator, __int128 denominator)
{
    __int128 quotient = numerator / denominator;
    if (numerator % denominator != 0 && numerator < 0)
        --quotient;
    return static_cast<int64_t>(quotient);
}

struct TimecodeValue
{
    uint8_t hours = 0, minutes = 0, seconds = 0, frames = 0;
    BMDTimecodeUserBits userBits = 0;
};

class CardTimecode : public ComObject<IDeckLinkTimecode>
{
public:
    explicit CardTimecode(const TimecodeValue& value) : m_value(value) {}
    HRESULT GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames) override;
    HRESULT GetTimecodeUserBits(BMDTimecodeUserBits* userBits) override;

private:
    void* findInterface(REFIID) override { return nullptr; }
    TimecodeValue m_value;
};

class CardAncillary : public ComObject<IDeckLinkVideoFrameAncillary>
{
public:
    CardAncillary(BMDPixelFormat pixelFormat, BMDDisplayMode displayMode)
        : m_pixelFormat(pixelFormat), m_displayMode(displayMode)
    {}
    BMDPixelFormat GetPixelFormat() override { return m_pixelFormat; }
    BMDDisplayMode GetDisplayMode() override { return m_displayMode; }

private:
    void* findInterface(REFIID) override { return nullptr; }
    BMDPixelFormat m_pixelFormat;
    BMDDisplayMode m_displayMode;
};

// Geometry and pixels of a frame, and the colours its '2vuy' pixels encode
// when the source says (else those of its size's display mode).
struct FrameLayout
{
    long width = 0, height = 0, rowBytes = 0;
    BMDPixelFormat pixelFormat = 0;
    std::optional<Colorimetry> colorimetry;
};

// Bytes per row that a picture of this width needs, or 0 for a format the cards do not handle.
// A '2vuy' row of odd width ends in a whole pair.
long minimumRowBytes(BMDPixelFormat format, long width);

// The colours the cards' own frames know they were encoded with, for the
// shared conversion; a frame from anywhere else does not answer.
class FrameColours
{
public:
    virtual std::optional<Colorimetry> colorimetry() const = 0;

protected:
    ~FrameColours() = default;
};

template <class Interface> class CardFrameBase : public ComObject<Interface>, public FrameColours
{
public:
    CardFrameBase(const FrameLayout& layout, BMDFrameFlags flags, BufferPool::Buffer pixels)
        : m_layout(layout), m_flags(flags), m_pixels(std::move(pixels))
    {}
    long GetWidth() override { return m_layout.width; }
    long GetHeight() override { return m_layout.height; }
    long GetRowBytes() override { return m_layout.rowBytes; }
    BMDPixelFormat GetPixelFormat() override { return m_layout.pixelFormat; }
    BMDFrameFlags GetFlags() override { return m_flags; }
    HRESULT GetBytes(void** buffer) override
    {
        if (!buffer)
            return E_POINTER;
        *buffer = m_pixels.get();
        return S_OK;
    }
    std::optional<Colorimetry> colorimetry() const override { return m_layout.colorimetry; }

protected:
    void* findInterface(REFIID) override { return nullptr; }
    FrameLayout m_layout;
    BMDFrameFlags m_flags;
    BufferPool::Buffer m_pixels;
};

// A frame made by CreateVideoFrame: no timecode, no ancillary data.
class MutableFrame : public CardFrameBase<IDeckLinkMutableVideoFrame>
{
public:
    using CardFrameBase::CardFrameBase;
    HRESULT GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode) override;
    HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) override;
    HRESULT SetFlags(BMDFrameFlags flags) override;
};

// An output frame from the pool, with the layout asked for; E_INVALIDARG for a
// layout that is no frame of the format.
HRESULT createOutputFrame(BufferPool& pool, int32_t width, int32_t height, int32_t rowBytes,
                          BMDPixelFormat format, BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame);

} // namespace cardcommon
