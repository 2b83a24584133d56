#pragma once

// One virtual card: its name, display modes and attributes, its input (the
// stream), its output (frames to convert into) and frame conversion. Faults
// configured for the card make the matching calls fail.

#include "common.h"
#include "inputstream.h"

#include <memory>

namespace virtualcards {

// Whether display names say that the cards are virtual.
std::atomic<bool>& markedNames();

class VirtualCard : public ComObject<IDeckLink, IDeckLinkInput, IDeckLinkOutput, IDeckLinkAttributes,
                                     IDeckLinkVideoConversion>
{
public:
    VirtualCard(std::shared_ptr<const CardSettings> settings, std::shared_ptr<const FrameClock> clock,
                std::unique_ptr<Source> source);

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

    // Driver side
    void unplug();
    void setSignal(const DisplayModeInfo* mode) { m_input->setSignal(mode); }

private:
    ~VirtualCard() override;
    void* findInterface(REFIID iid) override;

    const std::shared_ptr<const CardSettings> m_settings;
    const std::shared_ptr<InputStream> m_input;
    const std::shared_ptr<BufferPool> m_outputPool = std::make_shared<BufferPool>();
};

} // namespace virtualcards
