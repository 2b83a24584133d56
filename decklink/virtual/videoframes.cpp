#include "videoframes.h"

#include <algorithm>

namespace virtualcards {

HRESULT VirtualTimecode::GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames)
{
    if (!hours || !minutes || !seconds || !frames)
        return E_POINTER;
    *hours = m_value.hours, *minutes = m_value.minutes, *seconds = m_value.seconds, *frames = m_value.frames;
    return S_OK;
}

HRESULT VirtualTimecode::GetTimecodeUserBits(BMDTimecodeUserBits* userBits)
{
    if (!userBits)
        return E_POINTER;
    *userBits = m_value.userBits;
    return S_OK;
}

long minimumRowBytes(BMDPixelFormat format, long width)
{
    switch (format) {
    case bmdFormat8BitYUV:
        return width % 2 == 0 ? 2 * width : 0; // pixels come in pairs sharing their chroma
    case bmdFormat8BitBGRA:
    case bmdFormat8BitARGB:
        return 4 * width;
    default:
        return 0;
    }
}

HRESULT VirtualMutableFrame::GetTimecode(BMDTimecodeFormat, IDeckLinkTimecode** timecode)
{
    if (!timecode)
        return E_POINTER;
    *timecode = nullptr;
    return S_FALSE;
}

HRESULT VirtualMutableFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return E_POINTER;
    *ancillary = nullptr;
    return S_FALSE;
}

HRESULT VirtualMutableFrame::SetFlags(BMDFrameFlags flags)
{
    m_flags = flags;
    return S_OK;
}

HRESULT VirtualInputFrame::GetTimecode(BMDTimecodeFormat format, IDeckLinkTimecode** timecode)
{
    if (!timecode)
        return E_POINTER;
    *timecode = nullptr;
    const auto& formats = m_info.timecodeFormats;
    if (std::find(formats.begin(), formats.end(), format) == formats.end())
        return S_FALSE;
    *timecode = new VirtualTimecode(m_info.timecode);
    return S_OK;
}

HRESULT VirtualInputFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return E_POINTER;
    *ancillary = new VirtualAncillary(m_layout.pixelFormat, m_info.displayMode);
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
