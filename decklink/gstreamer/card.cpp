#include "card.h"

namespace gstreamercards {

GStreamerCard::GStreamerCard(std::shared_ptr<const CardDescription> description)
    : m_description(description), m_input(std::make_shared<CaptureStream>(description))
{}

GStreamerCard::~GStreamerCard()
{
    m_input->shutdown();
}

void* GStreamerCard::findInterface(REFIID iid)
{
    if (iid == IID_IDeckLinkInput)
        return static_cast<IDeckLinkInput*>(this);
    if (iid == IID_IDeckLinkOutput)
        return static_cast<IDeckLinkOutput*>(this);
    if (iid == IID_IDeckLinkAttributes)
        return static_cast<IDeckLinkAttributes*>(this);
    if (iid == IID_IDeckLinkVideoConversion)
        return static_cast<IDeckLinkVideoConversion*>(this);
    return nullptr;
}

HRESULT GStreamerCard::GetDisplayName(BSTR* name)
{
    if (!name)
        return E_POINTER;
    *name = makeBstr(m_description->name.c_str());
    return S_OK;
}

HRESULT GStreamerCard::GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator)
{
    if (!iterator)
        return E_POINTER;
    *iterator = new CardDisplayModeIterator(m_input->modes());
    return S_OK;
}

HRESULT GStreamerCard::SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* callback)
{
    m_input->setPreviewCallback(callback);
    return S_OK;
}

HRESULT GStreamerCard::EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags)
{
    return m_input->enable(mode, format, flags);
}

HRESULT GStreamerCard::DisableVideoInput()
{
    return m_input->disable();
}

HRESULT GStreamerCard::StartStreams()
{
    return m_input->start();
}

HRESULT GStreamerCard::StopStreams()
{
    return m_input->stop();
}

HRESULT GStreamerCard::SetCallback(IDeckLinkInputCallback* callback)
{
    m_input->setCallback(callback);
    return S_OK;
}

HRESULT GStreamerCard::CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes,
                                        BMDPixelFormat format, BMDFrameFlags flags,
                                        IDeckLinkMutableVideoFrame** frame)
{
    if (!frame)
        return E_POINTER;
    *frame = nullptr;
    const long needed = minimumRowBytes(format, width);
    if (width <= 0 || height <= 0 || needed == 0 || rowBytes < needed)
        return E_INVALIDARG;
    const FrameLayout layout{width, height, rowBytes, format};
    *frame = new MutableFrame(
        layout, flags, m_outputPool->acquire(static_cast<size_t>(rowBytes) * static_cast<size_t>(height)));
    return S_OK;
}

HRESULT GStreamerCard::GetFlag(BMDDeckLinkAttributeID id, BOOL* value)
{
    if (!value)
        return E_POINTER;
    if (id != BMDDeckLinkSupportsInputFormatDetection)
        return E_INVALIDARG;
    *value = m_description->formatDetection ? 1 : 0;
    return S_OK;
}

HRESULT GStreamerCard::ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination)
{
    return convertFrame(source, destination);
}

} // namespace gstreamercards
