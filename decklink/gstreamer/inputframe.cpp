#include "inputframe.h"

#include <algorithm>

namespace gstreamercards {

namespace {

int64_t scaled(int64_t nanoseconds, BMDTimeScale timeScale)
{
    return floorDivide(static_cast<__int128>(nanoseconds) * timeScale, nanosecondsPerSecond);
}

} // namespace

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
