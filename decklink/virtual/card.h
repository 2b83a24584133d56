#pragma once

// One virtual card: its name and display modes; its input is the stream.
// Faults configured for the card make the matching calls fail.

#include "common.h"
#include "common/inputcard.h"
#include "inputstream.h"

#include <memory>

namespace virtualcards {

// Whether display names say that the cards are virtual.
std::atomic<bool>& markedNames();

class VirtualCard : public cardcommon::InputCard<InputStream>
{
public:
    VirtualCard(std::shared_ptr<const CardSettings> settings, std::shared_ptr<const FrameClock> clock,
                std::unique_ptr<Source> source);

    // IDeckLink
    HRESULT GetDisplayName(BSTR* name) override;

    // IDeckLinkInput
    HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;

    // Driver side
    void unplug() { m_input->unplug(); }
    void setSignal(const DisplayModeInfo* mode) { m_input->setSignal(mode); }

private:
    ~VirtualCard() override = default;
    void* findInterface(REFIID iid) override;

    const std::shared_ptr<const CardSettings> m_settings;
};

} // namespace virtualcards
