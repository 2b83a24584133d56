#include "inputframe.h"

#include <algorithm>

namespace virtualcards {

HRESULT VirtualInputFrame::GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode)
{
    if (!timecode)
        return E_POINTER;
    *timecode = nullptr;
    const auto& formats = m_info.timecodeFormats;
    if (std::find(formats.begin(), formats.end(), format) == formats.end())
        return S_FALSE;
    *timecode = new CardTimecode(m_info.timecode);
    return S_OK;
}

HRESULT VirtualInputFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return E_POINTER;
    *ancillary = new CardAncillary(m_layout.pixelFormat, m_info.displayMode);
    return S_OK;
}

HRESULT VirtualInputFrame::GetStreamTime(BMDTimeValue* frameTime, BMDTimeValue* frameDuration,
                                         BMDTimeScale timeScale)
{
    if (!frameTime || !frameDuration)
        return E_POINTER;
    if (timeScale <= 0)
        return E_INVALIDARG;
    const FrameTiming& t = m_info.timing;
    *frameTime = floorDivide(static_cast<__int128>(t.streamIndex) * t.frameDuration * timeScale, t.timeScale);
    *frameDuration = floorDivide(static_cast<__int128>(t.frameDuration) * timeScale, t.timeScale);
    return S_OK;
}

HRESULT VirtualInputFrame::GetHardwareReferenceTimestamp(BMDTimeScale timeScale, BMDTimeValue* frameTime,
                                                         BMDTimeValue* frameDuration)
{
    if (!frameTime || !frameDuration)
        return E_POINTER;
    if (timeScale <= 0)
        return E_INVALIDARG;
    const FrameTiming& t = m_info.timing;
    // The exact instant in units of 1/(1e9 * timeScale of the mode) seconds, then rounded down once.
    const __int128 instant = static_cast<__int128>(t.clockOriginNs) * t.timeScale +
                             static_cast<__int128>(t.index) * t.frameDuration * nanosecondsPerSecond;
    *frameTime = floorDivide(instant * timeScale, static_cast<__int128>(nanosecondsPerSecond) * t.timeScale);
    *frameDuration = floorDivide(static_cast<__int128>(t.frameDuration) * timeScale, t.timeScale);
    return S_OK;
}

} // namespace virtualcards
