#include "inputframe.h"

#include <algorithm>

namespace cardcommon {

HRESULT CardInputFrame::GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode)
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

HRESULT CardInputFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return E_POINTER;
    *ancillary = new CardAncillary(m_layout.pixelFormat, m_info.displayMode);
    return S_OK;
}

HRESULT CardInputFrame::GetStreamTime(BMDTimeValue* frameTime, BMDTimeValue* frameDuration,
                                      BMDTimeScale timeScale)
{
    return scaled(m_info.streamTime, timeScale, frameTime, frameDuration);
}

HRESULT CardInputFrame::GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* frameTime,
                                                      BMDTimeValue* frameDuration)
{
    return scaled(m_info.hardwareTime, timeScale, frameTime, frameDuration);
}

HRESULT CardInputFrame::scaled(__int128 time, BMDTimeScale timeScale, BMDTimeValue* frameTime,
                               BMDTimeValue* frameDuration) const
{
    if (!frameTime || !frameDuration)
        return E_POINTER;
    if (timeScale <= 0)
        return E_INVALIDARG;
    *frameTime = floorDivide(time * timeScale, m_info.unitsPerSecond);
    *frameDuration = floorDivide(m_info.duration * timeScale, m_info.unitsPerSecond);
    return S_OK;
}

} // namespace cardcommon
