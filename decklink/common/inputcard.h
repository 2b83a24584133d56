#pragma once

// What the drivers' cards share: the input calls, forwarded to the card's
// capture stream; output frames from a pool of buffers; frame conversion; and
// the one attribute the program asks for. A driver's card adds its name, its
// display modes and the interfaces it offers.
//
// Stream provides setPreviewCallback, enable, disable, start, stop,
// setCallback, problem (the text of GetProblem, empty for none) and shutdown,
// which the card's destruction calls.

#include "bufferpool.h"
#include "cardframes.h"
#include "comobject.h"
#include "frameconverter.h"

#include <memory>
#include <string>

namespace cardcommon {

template <class Stream>
class InputCard : public ComObject<IDeckLink, IDeckLinkInput, IDeckLinkOutput, IDeckLinkAttributes,
                                   IDeckLinkVideoConversion, IDeckLinkInputStatus>
{
public:
    // IDeckLinkInput
    HRESULT SetScreenPreviewCallback(IDeckLinkScreenPreviewCallback* callback) override
    {
        m_input->setPreviewCallback(callback);
        return S_OK;
    }
    HRESULT EnableVideoInput(BMDDisplayMode mode, BMDPixelFormat format, BMDVideoInputFlags flags) override
    {
        return m_input->enable(mode, format, flags);
    }
    HRESULT DisableVideoInput() override { return m_input->disable(); }
    HRESULT StartStreams() override { return m_input->start(); }
    HRESULT StopStreams() override { return m_input->stop(); }
    HRESULT SetCallback(IDeckLinkInputCallback* callback) override
    {
        m_input->setCallback(callback);
        return S_OK;
    }

    // IDeckLinkInputStatus
    HRESULT GetProblem(BSTR* text) override
    {
        if (!text)
            return E_POINTER;
        const std::string problem = m_input->problem();
        *text = problem.empty() ? nullptr : makeBstr(problem.c_str());
        return problem.empty() ? S_FALSE : S_OK;
    }

    // IDeckLinkOutput
    HRESULT CreateVideoFrame(int32_t width, int32_t height, int32_t rowBytes, BMDPixelFormat format,
                             BMDFrameFlags flags, IDeckLinkMutableVideoFrame** frame) override
    {
        return createOutputFrame(*m_outputPool, width, height, rowBytes, format, flags, frame);
    }

    // IDeckLinkAttributes: only whether the card detects its input's format.
    HRESULT GetFlag(BMDDeckLinkAttributeID id, BOOL* value) override
    {
        if (!value)
            return E_POINTER;
        if (id != BMDDeckLinkSupportsInputFormatDetection)
            return E_INVALIDARG;
        *value = m_formatDetection ? 1 : 0;
        return S_OK;
    }

    // IDeckLinkVideoConversion
    HRESULT ConvertFrame(IDeckLinkVideoFrame* source, IDeckLinkVideoFrame* destination) override
    {
        return convertFrame(source, destination);
    }

protected:
    InputCard(std::shared_ptr<Stream> input, bool formatDetection)
        : m_input(std::move(input)), m_formatDetection(formatDetection)
    {}
    ~InputCard() override { m_input->shutdown(); }

    // The card's interfaces besides IDeckLink.
    void* findInterface(REFIID iid) override
    {
        if (iid == IID_IDeckLinkInput)
            return static_cast<IDeckLinkInput*>(this);
        if (iid == IID_IDeckLinkOutput)
            return static_cast<IDeckLinkOutput*>(this);
        if (iid == IID_IDeckLinkAttributes)
            return static_cast<IDeckLinkAttributes*>(this);
        if (iid == IID_IDeckLinkVideoConversion)
            return static_cast<IDeckLinkVideoConversion*>(this);
        if (iid == IID_IDeckLinkInputStatus)
            return static_cast<IDeckLinkInputStatus*>(this);
        return nullptr;
    }

    const std::shared_ptr<Stream> m_input;

private:
    const bool m_formatDetection;
    const std::shared_ptr<BufferPool> m_outputPool = std::make_shared<BufferPool>();
};

} // namespace cardcommon
