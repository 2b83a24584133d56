#pragma once

// A captured frame: the pixels of a GStreamer buffer, mapped for as long as
// the frame lives (no copy), or a black picture when there is no signal.

#include "gstcommon.h"

#include <gst/video/video-info.h>
#include <optional>

namespace gstreamercards {

struct CapturedFrameInfo
{
    BMDDisplayMode displayMode = 0;
    std::vector<BMDTimecodeFormat> timecodeFormats; // the formats the timecode is reported for
    std::optional<TimecodeValue> timecode;
    int64_t hardwareTimeNs = 0; // on the driver's shared clock
    int64_t streamTimeNs = 0;   // running time of the buffer
    int64_t durationNs = 1;
};

// The colours a stream's caps give its pictures. GStreamer fills what caps
// leave open by picture size (Rec. 601 up to 576 lines, Rec. 709 above;
// video range); a matrix it does not know leaves the choice to the display
// mode.
std::optional<Colorimetry> colorimetryOf(const GstVideoInfo& info);

class CapturedFrame : public CardFrameBase<IDeckLinkVideoInputFrame>
{
public:
    CapturedFrame(const FrameLayout& layout, BMDFrameFlags flags, BufferPool::Buffer pixels,
                  CapturedFrameInfo info)
        : CardFrameBase(layout, flags, std::move(pixels)), m_info(std::move(info))
    {}
    HRESULT GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode) override;
    HRESULT GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary) override;
    HRESULT GetStreamTime(BMDTimeValue* frameTime, BMDTimeValue* frameDuration,
                          BMDTimeScale timeScale) override;
    HRESULT GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* frameTime,
                                          BMDTimeValue* frameDuration) override;

private:
    CapturedFrameInfo m_info;
};

} // namespace gstreamercards
