#include "card.h"

#include <algorithm>
#include <cctype>

#include "common.h"

namespace virtualcards {

VirtualCard::VirtualCard(std::shared_ptr<const CardSettings> settings,
                         std::shared_ptr<const FrameClock> clock, std::unique_ptr<Source> source)
    : m_settings(settings),
      m_input(std::make_shared<InputStream>(settings, std::move(clock), std::move(source)))
{}

VirtualCard::~VirtualCard()
{
    m_input->shutdown();
}

void* VirtualCard::findInterface(REFIID iid)
{
    if (iid == IID_IDeckLinkInput)
        return m_settings->faults.noInput ? nullptr : static_cast<IDeckLinkInput*>(this);
    if (iid == IID_IDeckLinkOutput)
        return m_settings->faults.noOutput ? nullptr : static_cast<IDeckLinkOutput*>(this);
    if (iid == IID_IDeckLinkAttributes)
        return static_cast<IDeckLinkAttributes*>(this);
    if (iid == IID_IDeckLinkVideoConversion)
        return static_cast<IDeckLinkVideoConversion*>(this);
    return nullptr;
}

void VirtualCard::unplug()
{
    m_input->unplug();
}

HRESULT VirtualCard::GetDisplayName(BSTR* name)
{
    if (!name)
        return E_POINTER;
    *name = nullptr;
    if (m_settings->faults.noDisplayName)
        return E_FAIL;
    std::string text = m_settings->name;
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (markedNames() && lower.find("virtual") == std::string::npos)
        text += " (virtual)";
    *name = makeBstr(text.c_str());
    return S_OK;
}

HRESULT VirtualCard::GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator)
{
    if (!iterator)
        return E_POINTER;
    *iterator = new CardDisplayModeIterator(m_settings->modes);
    return S_OK;
}

HRESULT VirtualCard::SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* callback)
{
    m_input->setPreviewCallback(callback);
    return S_OK;
}

HRESULT VirtualCard::EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags)
{
    return m_input->enable(mode, format, flags);
}

HRESULT VirtualCard::DisableVideoInput()
{
    return m_input->disable();
}
HRESULT VirtualCard::StartStreams()
{
    return m_input->start();
}
HRESULT VirtualCard::StopStreams()
{
    return m_input->stop();
}

HRESULT VirtualCard::SetCallback(IDeckLinkInputCallback* callback)
{
    m_input->setCallback(callback);
    return S_OK;
}

HRESULT VirtualCard::CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat format,
                                      BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame)
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

HRESULT VirtualCard::GetFlag(BMDDeckLinkAttributeID id, BOOL* value)
{
    if (!value)
        return E_POINTER;
    if (id != BMDDeckLinkSupportsInputFormatDetection)
        return E_INVALIDARG;
    *value = m_settings->formatDetection ? 1 : 0;
    return S_OK;
}

HRESULT VirtualCard::ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination)
{
    return convertFrame(source, destination);
}

} // namespace virtualcards
