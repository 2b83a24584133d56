#include "cardframes.h"

#include <algorithm>

namespace cardcommon {

HRESULT CardTimecode::GetComponents(uint8_t* hours, uint8_t* minutes, uint8_t* seconds, uint8_t* frames)
{
    if (!hours || !minutes || !seconds || !frames)
        return E_POINTER;
    *hours = m_value.hours, *minutes = m_value.minutes, *seconds = m_value.seconds, *frames = m_value.frames;
    return S_OK;
}

HRESULT CardTimecode::GetTimecodeUserBits(BMDTimecodeUserBits* userBits)
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
        return 4 * ((width + 1) / 2); // pixels come in pairs sharing their chroma
    case bmdFormat8BitBGR:
        return 3 * width;
    case bmdFormat8BitBGRA:
    case bmdFormat8BitARGB:
        return 4 * width;
    default:
        return 0;
    }
}

HRESULT MutableFrame::GetTimecode(BMDTimecodeFormat, IDeckLinkTimecode** timecode)
{
    if (!timecode)
        return E_POINTER;
    *timecode = nullptr;
    return S_FALSE;
}

HRESULT MutableFrame::GetAncillaryData(IDeckLinkVideoFrameAncillary** ancillary)
{
    if (!ancillary)
        return E_POINTER;
    *ancillary = nullptr;
    return S_FALSE;
}

HRESULT MutableFrame::SetFlags(BMDFrameFlags flags)
{
    m_flags = flags;
    return S_OK;
}

HRESULT createOutputFrame(BufferPool& pool, int32_t width, int32_t height, int32_t rowBytes,
                          BMDPixelFormat format, BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame)
{
    if (!frame)
        return E_POINTER;
    *frame = nullptr;
    const long needed = minimumRowBytes(format, width);
    if (width <= 0 || height <= 0 || needed == 0 || rowBytes < needed)
        return E_INVALIDARG;
    const FrameLayout layout{width, height, rowBytes, format, std::nullopt};
    *frame = new MutableFrame(layout, flags,
                              pool.acquire(static_cast<size_t>(rowBytes) * static_cast<size_t>(height)));
    return S_OK;
}

} // namespace cardcommon
