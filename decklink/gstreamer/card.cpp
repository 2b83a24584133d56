#include "card.h"

namespace gstreamercards {

GStreamerCard::GStreamerCard(std::shared_ptr<const CardDescription> description)
    : InputCard(std::make_shared<CaptureStream>(description), description->formatDetection),
      m_description(description)
{}

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

} // namespace gstreamercards
