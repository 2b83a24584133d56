#include "streamcontrol.h"

namespace cardcommon {

HRESULT StreamControl::enable(BMDDisplayMode code, BMDPixelFormat format, BMDVideoInputFlags flags)
{
    const HRESULT fault = enableFault();
    if (fault != S_OK)
        return fault;
    const bool detection = (flags & bmdVideoInputEnableFormatDetection) != 0;
    if (format != bmdFormat8BitYUV || (flags & ~bmdVideoInputEnableFormatDetection) != 0 ||
        (detection && !m_formatDetection))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_mutex);
    const DisplayModeInfo* mode = findModeLocked(code);
    if (!mode)
        return E_INVALIDARG;
    if (!m_present)
        return E_FAIL;
    if (streamingLocked())
        return E_ACCESSDENIED;
    m_mode = mode;
    m_detection = detection;
    enabledLocked();
    return S_OK;
}

HRESULT StreamControl::disable()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (streamingLocked())
        return E_ACCESSDENIED;
    m_mode = nullptr;
    return S_OK;
}

HRESULT StreamControl::start()
{
    const HRESULT fault = prepareStart();
    if (fault != S_OK)
        return fault;
    std::unique_lock<std::mutex> lock(m_mutex);
    settleLocked(lock);
    if (!m_present)
        return E_FAIL;
    if (!m_mode || streamingLocked())
        return E_ACCESSDENIED;
    return beginLocked(lock);
}

HRESULT StreamControl::stop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    endLocked(lock);
    return S_OK;
}

void StreamControl::setCallback(IDeckLinkInputCallback* callback)
{
    m_callbacks.setCallback(callback);
}

void StreamControl::setPreviewCallback(IDeckLinkScreenPreviewCallback* callback)
{
    m_callbacks.setPreview(callback);
}

} // namespace cardcommon
