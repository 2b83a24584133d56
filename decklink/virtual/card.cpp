#include "card.h"

#include "common.h"

namespace virtualcards {

VirtualCard::VirtualCard(std::shared_ptr<const CardSettings> settings,
                         std::shared_ptr<const FrameClock> clock, std::unique_ptr<Source> source)
    : InputCard(std::make_shared<InputStream>(settings, std::move(clock), std::move(source)),
                settings->formatDetection),
      m_settings(settings)
{}

void* VirtualCard::findInterface(REFIID iid)
{
    if ((iid == IID_IDeckLinkInput && m_settings->faults.noInput) ||
        (iid == IID_IDeckLinkOutput && m_settings->faults.noOutput))
        return nullptr;
    return InputCard::findInterface(iid);
}

HRESULT VirtualCard::GetDisplayName(BSTR* name)
{
    if (!name)
        return E_POINTER;
    *name = nullptr;
    if (m_settings->faults.noDisplayName)
        return E_FAIL;
    const std::string text = markedNames() ? markedVirtualName(m_settings->name) : m_settings->name;
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

} // namespace virtualcards
