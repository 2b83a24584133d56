#pragma once

// One GStreamer card: a device of GstDeviceMonitor or a pipeline card, with
// its name and modes; its input is the capture stream.

#include "capture.h"
#include "common/inputcard.h"

namespace gstreamercards {

class GStreamerCard : public cardcommon::InputCard<CaptureStream>
{
public:
    explicit GStreamerCard(std::shared_ptr<const CardDescription> description);

    const CardDescription& description() const { return *m_description; }

    // IDeckLink
    HRESULT GetDisplayName(BSTR* name) override;

    // IDeckLinkInput
    HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;

    // The card has gone (device removed, pipeline card no longer configured).
    void unplug() { m_input->unplug(); }

private:
    ~GStreamerCard() override = default;

    const std::shared_ptr<const CardDescription> m_description;
};

} // namespace gstreamercards
