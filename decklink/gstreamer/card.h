#pragma once

// One GStreamer card: a device of GstDeviceMonitor or a pipeline card, with
// its modes, its input (the capture stream), output frames to convert into
// and frame conversion.

#include "capture.h"

namespace gstreamercards {

class GStreamerCard : public ComObject<IDeckLink, IDeckLinkInput, IDeckLinkOutput, IDeckLinkAttributes,
                                       IDeckLinkVideoConversion>
{
public:
    explicit GStreamerCard(std::shared_ptr<const CardDescription> description);

    const CardDescription& description() const { return *m_description; }

    // IDeckLink
    HRESULT GetDisplayName(BSTR* name) override;

    // IDeckLinkInput
    HRESULT GetDisplayModeIterator(IDeckLinkDisplayModeIterator** iterator) override;
    HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* callback) override;
    HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags) override;
    HRESULT DisableVideoInput() override;
    HRESULT StartStreams() override;
    HRESULT StopStreams() override;
    HRESULT SetCallback(IDeckLinkInputCallback* callback) override;

    // IDeckLinkOutput
    HRESULT CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat format,
                             BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame) override;

    // IDeckLinkAttributes
    HRESULT GetFlag(BMDDeckLinkAttributeID id, BOOL* value) override;

    // IDeckLinkVideoConversion
    HRESULT ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination) override;

    // The card has gone (device removed, pipeline card no longer configured).
    void unplug() { m_input->unplug(); }

private:
    ~GStreamerCard() override;
    void* findInterface(REFIID iid) override;

    const std::shared_ptr<const CardDescription> m_description;
    const std::shared_ptr<CaptureStream> m_input;
    const std::shared_ptr<BufferPool> m_outputPool = std::make_shared<BufferPool>();
};

} // namespace gstreamercards
