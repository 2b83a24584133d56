#pragma once

// The frames the virtual cards capture: pixels, the timecode of their clock
// and the instants of the card's clock.

#include "common.h"

#include <vector>

namespace virtualcards {

// When a captured frame was taken: frame `index` of its clock, whose frame 0
// lies `clockOriginNs` after the origin of the hardware reference clock;
// `streamIndex` frames after the first frame of the stream.
struct FrameTiming
{
    int64_t clockOriginNs = 0;
    int64_t index = 0;
    int64_t streamIndex = 0;
    BMDTimeValue frameDuration = 1;
    BMDTimeScale timeScale = 1;
};

struct InputFrameInfo
{
    BMDDisplayMode displayMode = 0;
    std::vector<BMDTimecodeFormat> timecodeFormats; // empty: the frame carries no timecode
    TimecodeValue timecode;
    FrameTiming timing;
};

class VirtualInputFrame : public CardFrameBase<IDeckLinkVideoInputFrame>
{
public:
    VirtualInputFrame(const FrameLayout& layout, BMDFrameFlags flags, BufferPool::Buffer pixels,
                      InputFrameInfo info)
        : CardFrameBase(layout, flags, std::move(pixels)), m_info(std::move(info))
    {}
    HRESULT GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode) override;
    HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) override;
    HRESULT GetStreamTime(BMDTimeValue* frameTime, BMDTimeValue* frameDuration,
                          BMDTimeScale timeScale) override;
    HRESULT GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* frameTime,
                                          BMDTimeValue* frameDuration) override;

private:
    InputFrameInfo m_info;
};

} // namespace virtualcards
