#include "inputframe.h"

#include <algorithm>

namespace gstreamercards {

namespace {

int64_t scaled(int64_t nanoseconds, BMDTimeScale timeScale)
{
    return floorDivide(static_cast<__int128>(nanoseconds) * timeScale, nanosecondsPerSecond);
}

} // namespace

std::optional<Colorimetry> colorimetryOf(const GstVideoInfo& info)
{
    Colorimetry colours;
    switch (info.colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT601:
    case GST_VIDEO_COLOR_MATRIX_FCC: // within a step of Rec. 601 in 8 bits
        colours.matrix = ColourMatrix::Rec601;
        break;
    case GST_VIDEO_COLOR_MATRIX_BT709:
    case GST_VIDEO_COLOR_MATRIX_SMPTE240M: // within a step of Rec. 709 in 8 bits
        colours.matrix = ColourMatrix::Rec709;
        break;
    case GST_VIDEO_COLOR_MATRIX_BT2020:
        colours.matrix = ColourMatrix::Rec2020;
        break;
    default:
        return std::nullopt;
    }
    colours.range =
        info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255 ? ColourRange::Full : ColourRange::Video;
    return colours;
}

HRESULT CapturedFrame::GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode)
{
    if (!timecode)
        return E_POINTER;
    *timecode = nullptr;
    const auto& formats = m_info.timecodeFormats;
    if (!m_info.timecode || std::find(formats.begin(), formats.end(), format) == formats.end())
        return S_FALSE;
    *timecode = new CardTimecode(*m_info.timecode);
    return S_OK;
}

HRESULT CapturedFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return E_POINTER;
    *ancillary = new CardAncillary(m_layout.pixelFormat, m_info.displayMode);
    return S_OK;
}

HRESULT CapturedFrame::GetStreamTime(BMDTimeValue* frameTime, BMDTimeValue* frameDuration,
                                     BMDTimeScale timeScale)
{
    if (!frameTime || !frameDuration)
        return E_POINTER;
    if (timeScale <= 0)
        return E_INVALIDARG;
    *frameTime = scaled(m_info.streamTimeNs, timeScale);
    *frameDuration = scaled(m_info.durationNs, timeScale);
    return S_OK;
}

HRESULT CapturedFrame::GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* frameTime,
                                                     BMDTimeValue* frameDuration)
{
    if (!frameTime || !frameDuration)
        return E_POINTER;
    if (timeScale <= 0)
        return E_INVALIDARG;
    *frameTime = scaled(m_info.hardwareTimeNs, timeScale);
    *frameDuration = scaled(m_info.durationNs, timeScale);
    return S_OK;
}

} // namespace gstreamercards
