#pragma once

// A captured frame as every driver hands it out: its pixels, the display
// mode, the timecode where the frame carries one, and its instants on the
// hardware reference clock and in its stream.

#include "cardframes.h"

#include <optional>
#include <vector>

namespace cardcommon {

struct InputFrameInfo
{
    BMDDisplayMode displayMode = 0;
    std::vector<BMDTimecodeFormat> timecodeFormats; // the formats the timecode is reported for
    std::optional<TimecodeValue> timecode;
    // Instants and duration in units of 1 / unitsPerSecond seconds, so that a
    // card's clock (frames of a rational duration) and a stream's nanoseconds
    // are both exact; read in any time scale, rounded down once.
    __int128 hardwareTime = 0;
    __int128 streamTime = 0;
    __int128 duration = 1;
    int64_t unitsPerSecond = nanosecondsPerSecond;
};

class CardInputFrame : public CardFrameBase<IDeckLinkVideoInputFrame>
{
public:
    CardInputFrame(const FrameLayout& layout, BMDFrameFlags flags, BufferPool::Buffer pixels,
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
    HRESULT scaled(__int128 time, BMDTimeScale timeScale, BMDTimeValue* frameTime,
                   BMDTimeValue* frameDuration) const;

    InputFrameInfo m_info;
};

} // namespace cardcommon
